#include "capture_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace srd::sender {
namespace {

// X11 and Wayland both report a key's native scan code as its X keycode: the Linux key code plus 8.
constexpr quint32 kEvdevOffset = 8;
// How long a release waits for the press of a repeat. The X server sends the two together, so they arrive in
// one read; the wait only covers a reader that splits them.
constexpr int kRepeatPairMs = 10;
constexpr int kWidth = 460;

bool IsEndChord(const QKeyEvent& key) {
  return key.type() == QEvent::KeyPress && key.key() == Qt::Key_BracketRight &&
         key.modifiers().testFlag(Qt::ControlModifier);
}

}  // namespace

CaptureWindow::CaptureWindow(const QString& target, Send send, GroupFollower& groups)
    : CaptureWindow(target, std::move(send), groups.Current()) {
  groups_ = &groups;
}

CaptureWindow::CaptureWindow(const QString& target, Send send, const KeyboardLayout& keyboard)
    : send_(std::move(send)), capture_(keyboard), target_(target), state_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("strokesender \u2192 %1").arg(target));
  setObjectName(QStringLiteral("strokesender"));
  setFocusPolicy(Qt::StrongFocus);
  // Keys, not the text an input method would compose from them.
  setAttribute(Qt::WA_InputMethodEnabled, false);

  auto* help =
      new QLabel(QCoreApplication::translate("CaptureWindow",
                                             "Every key you press and release in this window is pressed and "
                                             "released on %1. Keys still held are let go there when the "
                                             "window loses the focus. Ctrl+] or closing the window ends.")
                     .arg(target),
                 this);
  help->setWordWrap(true);
  QFont bold = state_->font();
  bold.setBold(true);
  state_->setFont(bold);
  auto* column = new QVBoxLayout(this);
  column->addWidget(help);
  column->addWidget(state_);
  column->addStretch();
  resize(kWidth, std::max(heightForWidth(kWidth), 100));
  pendingTimer_.setSingleShot(true);
  pendingTimer_.setInterval(kRepeatPairMs);
  QObject::connect(&pendingTimer_, &QTimer::timeout, this, [this] { SendPendingRelease(); });
  ShowState();
}

bool CaptureWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // No shortcut of this program may take a key from the receiver.
      event->accept();
      return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      // Handled before QWidget::event, which would take Tab and Backtab for moving the focus.
      OnKey(*static_cast<QKeyEvent*>(event));
      event->accept();
      return true;
    default:
      return QWidget::event(event);
  }
}

void CaptureWindow::OnKey(const QKeyEvent& key) {
  if (IsEndChord(key)) {
    close();
    return;
  }
  const quint32 scanCode = key.nativeScanCode();
  if (scanCode <= kEvdevOffset) {
    return;  // a platform that names no physical key
  }
  const auto linuxCode = static_cast<std::uint16_t>(scanCode - kEvdevOffset);
  const bool press = key.type() == QEvent::KeyPress;
  if (pendingRelease_) {
    if (press && pendingRelease_->linuxCode == linuxCode && pendingRelease_->timestamp == key.timestamp()) {
      pendingRelease_.reset();
      pendingTimer_.stop();
      Transmit(capture_.Press(linuxCode, true));
      return;
    }
    SendPendingRelease();  // before this event, so the receiver sees the keys in their order
  }
  if (press) {
    if (groups_ != nullptr) {
      // Qt gives the keysym the key typed (on X and on Wayland alike) as its native virtual key.
      capture_.UseLayout(groups_->LayoutFor(linuxCode, key.nativeVirtualKey()));
    }
    Transmit(capture_.Press(linuxCode, key.isAutoRepeat()));
  } else if (!key.isAutoRepeat()) {
    pendingRelease_ = PendingRelease{linuxCode, key.timestamp()};
    pendingTimer_.start();
  }
}

void CaptureWindow::SendPendingRelease() {
  pendingTimer_.stop();
  if (pendingRelease_) {
    const std::uint16_t linuxCode = pendingRelease_->linuxCode;
    pendingRelease_.reset();
    Transmit(capture_.Release(linuxCode, false));
  }
}

void CaptureWindow::focusOutEvent(QFocusEvent* event) {
  LetGo();
  QWidget::focusOutEvent(event);
}

void CaptureWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) {
    if (!isActiveWindow()) {
      LetGo();
    }
    ShowState();
  }
  QWidget::changeEvent(event);
}

void CaptureWindow::closeEvent(QCloseEvent* event) {
  LetGo();
  event->accept();
}

void CaptureWindow::LetGo() {
  // A key whose release is waiting is still held at the receiver: letting go of every key releases it.
  pendingRelease_.reset();
  pendingTimer_.stop();
  Transmit(capture_.ReleaseAll());
}

void CaptureWindow::Transmit(const std::string& datagram) {
  if (datagram.empty() || failed_) {
    return;
  }
  if (!send_(datagram)) {
    failed_ = true;
    close();
  }
}

void CaptureWindow::ShowState() {
  state_->setText(isActiveWindow()
                      ? QCoreApplication::translate("CaptureWindow", "Typing on %1.").arg(target_)
                      : QCoreApplication::translate("CaptureWindow", "Not typing: click here to type on %1.")
                            .arg(target_));
}

}  // namespace srd::sender
