#include "platform/ui/qt/event_pump.h"

#include <fcntl.h>

#include <QCoreApplication>
#include <QEvent>

#include <cerrno>
#include <vector>

namespace srd {

namespace {

// Posted to the waker to end a processEvents that is waiting.
class Waker final : public QObject {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      return true;
    }
    return QObject::event(event);
  }
};

}  // namespace

QtEventPump::QtEventPump(QtBackendContext& context) : context_(context), waker_(new Waker) {}

QtEventPump::~QtEventPump() {
  watches_.clear();
  delete waker_;
}

void QtEventPump::Wait() {
  if (woken_.exchange(false)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  // A Wake from here on is for messages the caller is about to look at anyway.
  woken_.store(false);
  RunReadyWatches();
  if (context_.notifying == 0) {
    // Without exec() nothing else runs deleteLater's work; no Qt handler is on the stack here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

void QtEventPump::Wake() {
  woken_.store(true);
  QCoreApplication::postEvent(waker_, new QEvent(QEvent::User));
}

bool QtEventPump::WatchFd(int fd, std::function<void()> onReadable) {
  if (fd < 0 || !onReadable) {
    return false;
  }
  auto watch = std::make_unique<Watch>();
  watch->callback = std::move(onReadable);
  watch->notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
  Watch* raw = watch.get();
  // The callback runs after processEvents has returned, outside Qt's dispatch, so that it may watch and
  // unwatch descriptors (its own too) and post or send messages freely.
  QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, raw->notifier.get(), [raw] {
    raw->ready = true;
    raw->notifier->setEnabled(false);
  });
  watches_[fd] = std::move(watch);
  return true;
}

void QtEventPump::UnwatchFd(int fd) {
  watches_.erase(fd);
}

void QtEventPump::RunReadyWatches() {
  std::vector<int> ready;
  for (const auto& [fd, watch] : watches_) {
    if (watch->ready) {
      ready.push_back(fd);
    }
  }
  for (int fd : ready) {
    auto it = watches_.find(fd);
    if (it == watches_.end() || !it->second->ready) {
      continue;
    }
    it->second->ready = false;
    auto callback = it->second->callback;
    callback();
    // Looked up afresh: the callback may have unwatched or replaced the descriptor.
    it = watches_.find(fd);
    if (it == watches_.end() || it->second->ready) {
      continue;
    }
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      watches_.erase(it);  // closed without being unwatched: forget it rather than spin on it
      continue;
    }
    it->second->notifier->setEnabled(true);
  }
}

}  // namespace srd
