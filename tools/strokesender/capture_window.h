#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "group_follower.h"
#include "key_capture.h"

// The window of `strokesender --window`: while it has the keyboard focus, each key pressed and released in it
// is pressed and released at the receiver, one datagram per event. Held keys are let go there when it loses
// the focus and when it closes; Ctrl+] closes it from the keyboard.

namespace srd::sender {

class CaptureWindow final : public QWidget {
 public:
  // Sends one datagram; false when it could not be sent (the window then closes and Failed() is true).
  using Send = std::function<bool(std::string_view datagram)>;

  // target: "HOST:PORT" as the window names it.
  // Keys carry the virtual-key codes that a Windows keyboard of `layout` gives them; it outlives the window.
  CaptureWindow(const QString& target, Send send, const KeyboardLayout& layout = UsKeyboardLayout());
  // Keys carry the codes of whichever of the keyboard's layouts they were typed with, as `groups` tells from
  // the keysym each key gave; it outlives the window.
  CaptureWindow(const QString& target, Send send, GroupFollower& groups);

  bool Failed() const { return failed_; }

 protected:
  bool event(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnKey(const QKeyEvent& key);
  void SendPendingRelease();
  void LetGo();
  void Transmit(const std::string& datagram);
  void ShowState();

  // X tells a held key's repeat as a release and a press with one time stamp, and Qt passes both on as real
  // events: a release waits a moment for the press that would make it a repeat.
  struct PendingRelease {
    std::uint16_t linuxCode;
    quint64 timestamp;
  };

  Send send_;
  GroupFollower* groups_ = nullptr;
  KeyCapture capture_;
  std::optional<PendingRelease> pendingRelease_;
  QTimer pendingTimer_;
  QString target_;
  QLabel* state_;
  bool failed_ = false;
};

}  // namespace srd::sender
