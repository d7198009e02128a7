#include "support/qt/qt_test_support.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace srd::test {

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

Script::Script(std::vector<Step> steps) : steps_(std::move(steps)) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto* timer = new QTimer;
  timer->setInterval(10);
  // One step per tick at most, so that the loop under test handles what a step caused before the next.
  QObject::connect(timer, &QTimer::timeout, timer, [this, timer, deadline] {
    if (Finished()) {
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      timer->stop();
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        widget->close();
      }
    } else if (steps_[next_]()) {
      ++next_;
    }
  });
  timer->start();
  timer_ = timer;
}

Script::~Script() {
  delete static_cast<QTimer*>(timer_);
}

}  // namespace srd::test
