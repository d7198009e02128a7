#include "platform/x11/xtest_keymap_mirror.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/x11/device_repeat.h"
#include "platform/x11/quiet_connection.h"

namespace srd {

namespace {

// How often the device list is read while XWayland has no keyboard device yet: one small request each time.
constexpr int kLookIntervalMs = 200;

}  // namespace

std::unique_ptr<XTestKeymapMirror> XTestKeymapMirror::Start(const std::string& displayName,
                                                            bool waylandSession) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) {
    return nullptr;
  }
  const bool xwayland = waylandSession || IsXWayland(display);
  const int to = FindSlaveKeyboard(display, XDeviceRepeat::kXTestKeyboard);
  const int wakeFd = to >= 0 ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
  const int eventBase = wakeFd >= 0 ? XkbEventBase(display) : -1;
  if (eventBase < 0) {
    XCloseDisplay(display);
    if (wakeFd >= 0) {
      close(wakeFd);
    }
    return nullptr;
  }
  std::unique_ptr<XTestKeymapMirror> mirror(new XTestKeymapMirror(display, wakeFd, eventBase, xwayland, to));
  RegisterQuietConnection(display);
  XSetIOErrorExitHandler(display, &XTestKeymapMirror::OnConnectionLost, mirror.get());
  mirror->FindSource();
  mirror->thread_ = std::thread([m = mirror.get()] { m->Run(); });
  return mirror;
}

XTestKeymapMirror::XTestKeymapMirror(Display* display, int wakeFd, int xkbEventBase, bool xwayland, int to)
    : display_(display), wakeFd_(wakeFd), xkbEventBase_(xkbEventBase), xwayland_(xwayland), to_(to) {}

void XTestKeymapMirror::FindSource() {
  // On Xorg the core keyboard shows the keymap of the keyboard typed on last: the user's, unless it is the
  // XTest device itself, which then needs nothing.
  from_ = xwayland_ ? FindSlaveKeyboard(display_, kXWaylandKeyboard, true) : static_cast<int>(XkbUseCoreKbd);
  if (from_ < 0) {
    return;
  }
  constexpr unsigned kKeymapEvents = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
  XkbSelectEvents(display_, static_cast<unsigned>(from_), kKeymapEvents, kKeymapEvents);
  CopyIfDifferent();
}

void XTestKeymapMirror::CopyIfDifferent() {
  // Only a difference is copied: the copy's own events (the XTest device's, and the core keyboard's that
  // follows it) then end the exchange instead of starting it again.
  if (XDeviceKeymap::Differ(display_, static_cast<unsigned>(from_), static_cast<unsigned>(to_))) {
    keymap_.Copy(display_, from_, to_);
  }
}

XTestKeymapMirror::~XTestKeymapMirror() {
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    // An eventfd write fails only when its counter is full, and then the thread is being woken anyway.
  }
  thread_.join();
  close(wakeFd_);
}

void XTestKeymapMirror::OnConnectionLost(Display*, void* self) {
  static_cast<XTestKeymapMirror*>(self)->lost_ = true;
}

void XTestKeymapMirror::Run() {
  pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!lost_) {
    if (from_ < 0) {
      FindSource();
    }
    bool changed = false;
    while (!lost_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      changed = changed || event.type == xkbEventBase_;
    }
    if (changed && !lost_) {
      CopyIfDifferent();
      continue;  // the copy's replies may have brought events into Xlib's queue
    }
    // XWayland adds its keyboard device once the compositor's seat has told it of a keyboard, which may be
    // after the program's start when its connection is what started XWayland.
    const int timeout = from_ < 0 ? kLookIntervalMs : -1;
    if (lost_ || (poll(fds, 2, timeout) < 0 && errno != EINTR) || (fds[1].revents & POLLIN) != 0) {
      break;
    }
  }
  if (lost_) {
    keymap_.Forget();
  } else {
    keymap_.Restore(display_);
  }
  // Closed by the thread that used it, as a lost connection requires.
  XCloseDisplay(display_);
  UnregisterQuietConnection(display_);
}

}  // namespace srd
