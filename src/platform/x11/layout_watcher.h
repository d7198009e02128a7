#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_watch.h"
#include "platform/layout/system_layout.h"

struct _XDisplay;

namespace srd {

// Follows the keyboard layout of an X display on a connection and a thread of its own: the layout and
// variant of the active group, from the keymap's rule names (_XKB_RULES_NAMES) and the keyboard state. The
// display tells of a new keymap, a group change or new rule names with an event; nothing is asked per key.
class XLayoutWatcher final : public LayoutWatch {
 public:
  using OnChange = std::function<void(const LayoutName&)>;

  // Reads the display's layout and reports it through onChange before returning, then reports each change
  // from the watcher's thread. nullptr when the display cannot be opened, has no XKB, or is XWayland (whose
  // layout is the compositor's, which the Wayland module follows).
  static std::unique_ptr<XLayoutWatcher> Start(const std::string& displayName, OnChange onChange);
  ~XLayoutWatcher() override;
  XLayoutWatcher(const XLayoutWatcher&) = delete;
  XLayoutWatcher& operator=(const XLayoutWatcher&) = delete;

 private:
  XLayoutWatcher(_XDisplay* display, int xkbEventBase, int wakeFd, OnChange onChange);
  void Run();
  LayoutName Read();
  static void OnConnectionLost(_XDisplay* display, void* self);

  _XDisplay* display_;
  int xkbEventBase_;
  int wakeFd_;  // an eventfd: written to stop the thread
  unsigned long rulesAtom_ = 0;
  bool lost_ = false;  // set by Xlib on the watcher's thread
  OnChange onChange_;
  LayoutName last_;
  std::thread thread_;
};

// Every layout of an X display's keymap and the active one, read once; nullopt when the display cannot be
// opened or has no XKB.
std::optional<KeyboardGroups> ReadXKeyboardGroups(const std::string& displayName);

// XLayoutWatcher::Start as a LayoutWatchFactory, for ReceiverLayout::Start.
std::unique_ptr<LayoutWatch> WatchXLayout(const std::string& displayName, LayoutChanged onChange);

}  // namespace srd
