#include "platform/ui/qt/caret_blink.h"

#include <QApplication>
#include <QEvent>

namespace srd {

CaretBlinkLimiter::CaretBlinkLimiter(QObject* parent)
    : QObject(parent), flashTime_(QApplication::cursorFlashTime()) {
  idle_.setSingleShot(true);
  idle_.setInterval(kIdleMs);
  QObject::connect(&idle_, &QTimer::timeout, this, [] { QApplication::setCursorFlashTime(0); });
  idle_.start();
}

bool CaretBlinkLimiter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
    case QEvent::InputMethod:
      if (flashTime_ > 0 && QApplication::cursorFlashTime() != flashTime_) {
        QApplication::setCursorFlashTime(flashTime_);
      }
      idle_.start();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace srd
