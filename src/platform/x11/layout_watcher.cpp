#include "platform/x11/layout_watcher.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/layout/system_layout.h"
#include "platform/x11/device_keymap.h"
#include "platform/x11/quiet_connection.h"

namespace srd {

std::unique_ptr<XLayoutWatcher> XLayoutWatcher::Start(const std::string& displayName, OnChange onChange) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) {
    return nullptr;
  }
  const int eventBase = XkbEventBase(display);
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // XWayland's rule names say "us" whatever the compositor's keymap: its layout comes from the compositor.
  if (eventBase < 0 || wakeFd < 0 || IsXWayland(display)) {
    XCloseDisplay(display);
    if (wakeFd >= 0) {
      close(wakeFd);
    }
    return nullptr;
  }
  std::unique_ptr<XLayoutWatcher> watcher(
      new XLayoutWatcher(display, eventBase, wakeFd, std::move(onChange)));
  RegisterQuietConnection(display);
  XSetIOErrorExitHandler(display, &XLayoutWatcher::OnConnectionLost, watcher.get());
  watcher->rulesAtom_ = XInternAtom(display, "_XKB_RULES_NAMES", False);
  constexpr unsigned kKeymapEvents = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
  XkbSelectEvents(display, XkbUseCoreKbd, kKeymapEvents | XkbStateNotifyMask,
                  kKeymapEvents | XkbStateNotifyMask);
  XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask, XkbGroupStateMask);
  XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
  watcher->last_ = watcher->Read();
  watcher->onChange_(watcher->last_);
  watcher->thread_ = std::thread([w = watcher.get()] { w->Run(); });
  return watcher;
}

std::unique_ptr<LayoutWatch> WatchXLayout(const std::string& displayName, LayoutChanged onChange) {
  return XLayoutWatcher::Start(displayName, std::move(onChange));
}

XLayoutWatcher::XLayoutWatcher(Display* display, int xkbEventBase, int wakeFd, OnChange onChange)
    : display_(display), xkbEventBase_(xkbEventBase), wakeFd_(wakeFd), onChange_(std::move(onChange)) {}

XLayoutWatcher::~XLayoutWatcher() {
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    // An eventfd write fails only when its counter is full, and then the thread is being woken anyway.
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  close(wakeFd_);
}

void XLayoutWatcher::OnConnectionLost(Display*, void* self) {
  static_cast<XLayoutWatcher*>(self)->lost_ = true;
}

namespace {

// The groups of a display's keymap: the layouts and variants of its rule names (_XKB_RULES_NAMES) and the
// active group of its keyboard state.
KeyboardGroups ReadGroups(Display* display, Atom rulesAtom) {
  std::string layouts;
  std::string variants;
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, DefaultRootWindow(display), rulesAtom, 0, 1024, False, XA_STRING, &type,
                         &format, &items, &after, &data) == Success &&
      data != nullptr) {
    // rules, model, layouts, variants, options: strings one after another, each ended by a NUL.
    std::string_view rest(reinterpret_cast<const char*>(data), items);
    std::string_view fields[5];
    for (std::string_view& field : fields) {
      const auto end = rest.find('\0');
      field = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    layouts = std::string(fields[2]);
    variants = std::string(fields[3]);
  }
  if (data != nullptr) {
    XFree(data);
  }
  XkbStateRec state{};
  XkbGetState(display, XkbUseCoreKbd, &state);
  return GroupsOfLists(layouts, variants, state.group);
}

}  // namespace

std::optional<KeyboardGroups> ReadXKeyboardGroups(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) {
    return std::nullopt;
  }
  std::optional<KeyboardGroups> groups;
  if (XkbEventBase(display) >= 0) {
    groups = ReadGroups(display, XInternAtom(display, "_XKB_RULES_NAMES", False));
  }
  XCloseDisplay(display);
  return groups;
}

LayoutName XLayoutWatcher::Read() {
  const KeyboardGroups groups = ReadGroups(display_, rulesAtom_);
  return groups.layouts[groups.active];
}

void XLayoutWatcher::Run() {
  pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!lost_) {
    bool changed = false;
    while (!lost_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == xkbEventBase_) {
        changed = true;
      } else if (event.type == PropertyNotify && event.xproperty.atom == rulesAtom_) {
        changed = true;
      }
    }
    if (lost_) {
      break;
    }
    if (changed) {
      const LayoutName now = Read();
      if (!(now == last_)) {
        last_ = now;
        onChange_(now);
      }
      // The replies Read waited for may have brought events with them (a keymap change ends with the new rule
      // names): those sit in Xlib's queue, not on the socket, so look there before waiting again.
      continue;
    }
    if (poll(fds, 2, -1) < 0 && errno != EINTR) {
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      break;
    }
  }
  // Closed by the thread that used it: after a lost connection Xlib leaves the display locked for the thread
  // that met the loss, and a close from any other thread would wait for it for good.
  XCloseDisplay(display_);
  UnregisterQuietConnection(display_);
}

}  // namespace srd
