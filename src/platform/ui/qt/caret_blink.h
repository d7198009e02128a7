#pragma once

#include <QObject>
#include <QTimer>

namespace srd {

// A text caret that blinks for ever keeps an idle program waking twice a second to repaint it (the panel's
// test box has the focus from the start). As desktops commonly do, the caret stops blinking after a while
// without input, steadily shown, and blinks again from the next key, click or focus change. Installed as an
// event filter of the application.
class CaretBlinkLimiter final : public QObject {
 public:
  explicit CaretBlinkLimiter(QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static constexpr int kIdleMs = 10000;
  int flashTime_;
  QTimer idle_;
};

}  // namespace srd
