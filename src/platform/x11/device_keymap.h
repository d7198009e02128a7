#pragma once

struct _XDisplay;  // Xlib's Display, kept out of this header with its macros
struct _XkbDesc;

namespace srd {

// XTest keys are read with the keymap of the XTest keyboard device, not the one the user's keyboard has. An
// X server that takes its keymap from elsewhere (XWayland, from the compositor) leaves that device on the US
// keymap it started with, so the keys of any other layout would type the US characters in X windows. While
// the program injects, the XTest device carries the keymap of the user's keyboard device; like the repeat
// setting, the keymap lives in the server and is shared by every XTest client, so the one who changed it puts
// it back.
class XDeviceKeymap {
 public:
  XDeviceKeymap() = default;
  ~XDeviceKeymap();
  XDeviceKeymap(const XDeviceKeymap&) = delete;
  XDeviceKeymap& operator=(const XDeviceKeymap&) = delete;

  // Copies the keymap of the device `from` onto the device `to` (XKB ids), the first time remembering the
  // keymap `to` had. False when either has no keymap to read.
  bool Copy(_XDisplay* display, int from, int to);
  // Whether the devices `a` and `b` (XKB ids, or XkbUseCoreKbd) type different keysyms on some key; true when
  // either cannot be read.
  static bool Differ(_XDisplay* display, unsigned a, unsigned b);
  // Puts back the keymap Copy found on the device. Needs a connection to the same server.
  void Restore(_XDisplay* display);
  // The server went away, and with it the keymap: nothing to put back.
  void Forget();

 private:
  int device_ = -1;
  _XkbDesc* saved_ = nullptr;
};

// XWayland names its keyboard device after the seat's keyboard: "xwayland-keyboard:18".
inline constexpr char kXWaylandKeyboard[] = "xwayland-keyboard";

// Whether the server is XWayland: it has an extension of that name, or (older ones) XWayland's keyboard.
bool IsXWayland(_XDisplay* display);

// The XKB extension's first event number on this connection (initialising XKB on it); -1 when the server has
// no XKB.
int XkbEventBase(_XDisplay* display);

}  // namespace srd
