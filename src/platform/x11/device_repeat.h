#pragma once

struct _XDisplay;  // Xlib's Display, kept out of this header with its macros

namespace srd {

// The X server auto-repeats every held key of a keyboard device, XTest's included, until a release arrives.
// Keys injected by the program must not repeat by themselves: when the datagram that holds a key's release is
// lost, the server would otherwise type the key into the focused window until some later datagram releases
// it. Repetition comes from the sender, which sends the press again for as long as its own key is held.
//
// The switch is the XKB RepeatKeys control of one slave keyboard device: the other keyboards of the display
// keep their repeat. The setting lives in the server, outlives the connection that made it and is shared by
// every client that injects through that device, so the one who turned it off puts it back.
// The XInput id of the slave keyboard named `name`, or whose name starts with it when `prefix`; -1 if there
// is none.
int FindSlaveKeyboard(_XDisplay* display, const char* name, bool prefix = false);

class XDeviceRepeat {
 public:
  // The XTest device every XTest client of a display injects through.
  static constexpr const char* kXTestKeyboard = "Virtual core XTEST keyboard";

  // Turns the repeat of the slave keyboard named `deviceName` off, remembering whether it was on; false when
  // the display has no such device or no XKB.
  bool TurnOff(_XDisplay* display, const char* deviceName);
  // Turns the repeat back on if TurnOff found it on. Needs the connection TurnOff used, or one to the same
  // server.
  void Restore(_XDisplay* display);
  // The server went away, and with it the setting: nothing to put back.
  void Forget() { turnedOff_ = false; }

  bool TurnedOff() const { return turnedOff_; }

  // Whether the RepeatKeys control of the device named `deviceName` is on; false when there is no such
  // device.
  static bool RepeatEnabled(_XDisplay* display, const char* deviceName);
  // Turns the repeat of the device named `deviceName` on, whoever turned it off; false when there is no such
  // device or no XKB.
  static bool TurnOn(_XDisplay* display, const char* deviceName);

 private:
  int device_ = -1;
  bool turnedOff_ = false;
};

}  // namespace srd
