#include "key_observer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>

#include <algorithm>
#include <chrono>

namespace srd {

KeyObserver::KeyObserver(const std::string& displayName, bool delivered)
    : display_(XOpenDisplay(displayName.c_str())) {
  int event = 0;
  int error = 0;
  if (display_ == nullptr || !XQueryExtension(display_, "XInputExtension", &opcode_, &event, &error)) {
    return;
  }
  int major = 2;
  int minor = 0;
  if (XIQueryVersion(display_, &major, &minor) != Success) {
    return;
  }
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  if (delivered) {
    XISetMask(bits, XI_KeyPress);
    XISetMask(bits, XI_KeyRelease);
  } else {
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
  }
  XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  XSync(display_, False);
  ready_ = true;
}

KeyObserver::~KeyObserver() {
  if (display_ != nullptr) {
    XCloseDisplay(display_);
  }
}

bool KeyObserver::ReadPending() {
  const std::size_t before = events_.size();
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.xcookie.type == GenericEvent && event.xcookie.extension == opcode_ &&
        XGetEventData(display_, &event.xcookie)) {
      // Raw and delivered events both carry the keycode in `detail`.
      const int type = event.xcookie.evtype;
      const int detail = type == XI_KeyPress || type == XI_KeyRelease
                             ? static_cast<const XIDeviceEvent*>(event.xcookie.data)->detail
                             : static_cast<const XIRawEvent*>(event.xcookie.data)->detail;
      events_.emplace_back(detail, type == XI_RawKeyPress || type == XI_KeyPress);
      XFreeEventData(display_, &event.xcookie);
    }
  }
  return events_.size() > before;
}

std::vector<KeyEvent> KeyObserver::Take(std::size_t count) {
  return Collect(std::chrono::steady_clock::now() + std::chrono::seconds(20), count);
}

std::vector<KeyEvent> KeyObserver::TakeFor(std::chrono::milliseconds period) {
  return Collect(std::chrono::steady_clock::now() + period, static_cast<std::size_t>(-1));
}

std::vector<KeyEvent> KeyObserver::Collect(std::chrono::steady_clock::time_point deadline,
                                           std::size_t count) {
  while (events_.size() < count && std::chrono::steady_clock::now() < deadline) {
    if (XPending(display_) == 0) {
      pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
      poll(&pfd, 1, 100);
    }
    ReadPending();
  }
  std::vector<KeyEvent> taken = std::move(events_);
  events_.clear();
  return taken;
}

std::vector<KeyEvent> KeyObserver::TakeUntilQuiet(std::chrono::milliseconds quiet,
                                                  std::chrono::steady_clock::time_point* lastArrival) {
  auto heard = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - heard < quiet) {
    if (XPending(display_) == 0) {
      pollfd pfd{ConnectionNumber(display_), POLLIN, 0};
      poll(&pfd, 1, 10);
    }
    if (ReadPending()) {
      heard = std::chrono::steady_clock::now();
      *lastArrival = heard;
    }
  }
  std::vector<KeyEvent> taken = std::move(events_);
  events_.clear();
  return taken;
}

std::vector<KeyEvent> KeyObserver::TakeUntilReleaseOf(int endKey) {
  std::vector<KeyEvent> events;
  while (std::find(events.begin(), events.end(), KeyEvent{endKey, false}) == events.end()) {
    const std::vector<KeyEvent> more = Take(1);
    if (more.empty()) {
      break;
    }
    events.insert(events.end(), more.begin(), more.end());
  }
  events.erase(std::find(events.begin(), events.end(), KeyEvent{endKey, true}), events.end());
  return events;
}

std::vector<int> KeyObserver::KeysDown() {
  char keys[32] = {};
  XQueryKeymap(display_, keys);
  std::vector<int> down;
  for (int kc = 0; kc < 256; ++kc) {
    if ((keys[kc / 8] >> (kc % 8)) & 1) {
      down.push_back(kc);
    }
  }
  return down;
}

unsigned long KeyObserver::KeysymOf(int keycode, int level) {
  int minKeycode = 0;
  int maxKeycode = 0;
  XDisplayKeycodes(display_, &minKeycode, &maxKeycode);
  if (keycode < minKeycode || keycode > maxKeycode) {
    return 0;
  }
  int perKeycode = 0;
  KeySym* keysyms = XGetKeyboardMapping(display_, static_cast<KeyCode>(keycode), 1, &perKeycode);
  const unsigned long keysym = keysyms != nullptr && level >= 0 && perKeycode > level ? keysyms[level] : 0;
  XFree(keysyms);
  return keysym;
}

}  // namespace srd
