#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/x11/device_keymap.h"

struct _XDisplay;

namespace srd {

// Under XWayland, keeps the compositor's keymap on the XTest keyboard device while the program injects:
// XWayland gives its own keyboard device the compositor's keymap and each new one, and leaves the XTest
// device on US. Copies the keymap at start, then on each change of XWayland's keyboard, on a connection and a
// thread of its own; puts the XTest device's keymap back when it goes (unless the server went first).
class XTestKeymapMirror {
 public:
  // nullptr when the display cannot be opened or has no XTest keyboard. `waylandSession`: the display is
  // taken for XWayland, as a Wayland session's is. Copies the keymap before returning when the keyboard to
  // copy from is there (XWayland adds its own later), else as soon as it appears.
  static std::unique_ptr<XTestKeymapMirror> Start(const std::string& displayName, bool waylandSession);
  ~XTestKeymapMirror();
  XTestKeymapMirror(const XTestKeymapMirror&) = delete;
  XTestKeymapMirror& operator=(const XTestKeymapMirror&) = delete;

 private:
  XTestKeymapMirror(_XDisplay* display, int wakeFd, int xkbEventBase, bool xwayland, int to);
  // Looks for the keyboard to copy from; once there, follows its keymap and copies it.
  void FindSource();
  void CopyIfDifferent();
  void Run();
  static void OnConnectionLost(_XDisplay* display, void* self);

  _XDisplay* display_;
  int wakeFd_;  // an eventfd: written to stop the thread
  int xkbEventBase_;
  bool xwayland_;
  int from_ = -1;      // XWayland's keyboard device, or on Xorg the core keyboard
  int to_;             // the XTest keyboard device
  bool lost_ = false;  // set by Xlib on the mirror's thread
  XDeviceKeymap keymap_;
  std::thread thread_;
};

}  // namespace srd
