#include "platform/x11/device_repeat.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cstring>

#include "platform/x11/device_keymap.h"

namespace srd {

// XKB and XInput number devices alike.
int FindSlaveKeyboard(Display* display, const char* name, bool prefix) {
  int opcode = 0;
  int event = 0;
  int error = 0;
  if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) {
    return -1;
  }
  int major = 2;
  int minor = 0;
  if (XIQueryVersion(display, &major, &minor) != Success) {
    return -1;
  }
  int count = 0;
  XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
  int found = -1;
  const std::size_t length = std::strlen(name);
  for (int i = 0; i < count && found < 0; ++i) {
    const char* deviceName = devices[i].name;
    if (devices[i].use == XISlaveKeyboard && deviceName != nullptr &&
        (prefix ? std::strncmp(deviceName, name, length) == 0 : std::strcmp(deviceName, name) == 0)) {
      found = devices[i].deviceid;
    }
  }
  XIFreeDeviceInfo(devices);
  return found;
}

namespace {

// Whether the RepeatKeys control of a device is on; nullopt-like -1 when XKB cannot tell.
int RepeatOf(Display* display, int device) {
  XkbDescPtr desc = XkbAllocKeyboard();
  if (desc == nullptr) {
    return -1;
  }
  desc->device_spec = static_cast<unsigned short>(device);
  int result = -1;
  if (XkbGetControls(display, XkbControlsEnabledMask, desc) == Success && desc->ctrls != nullptr) {
    result = (desc->ctrls->enabled_ctrls & XkbRepeatKeysMask) != 0 ? 1 : 0;
  }
  XkbFreeKeyboard(desc, 0, True);
  return result;
}

// The slave keyboard named `name`, when XKB can switch its controls; -1 otherwise.
int XkbKeyboardNamed(Display* display, const char* name) {
  return XkbEventBase(display) >= 0 ? FindSlaveKeyboard(display, name) : -1;
}

}  // namespace

bool XDeviceRepeat::TurnOff(Display* display, const char* deviceName) {
  const int device = XkbKeyboardNamed(display, deviceName);
  if (device < 0) {
    return false;
  }
  const int repeat = RepeatOf(display, device);
  if (repeat < 0) {
    return false;
  }
  device_ = device;
  turnedOff_ = repeat == 1;
  if (turnedOff_) {
    XkbChangeEnabledControls(display, static_cast<unsigned>(device), XkbRepeatKeysMask, 0);
    XSync(display, False);
  }
  return true;
}

void XDeviceRepeat::Restore(Display* display) {
  if (!turnedOff_) {
    return;
  }
  XkbChangeEnabledControls(display, static_cast<unsigned>(device_), XkbRepeatKeysMask, XkbRepeatKeysMask);
  XSync(display, False);
  turnedOff_ = false;
}

bool XDeviceRepeat::TurnOn(Display* display, const char* deviceName) {
  const int device = XkbKeyboardNamed(display, deviceName);
  if (device < 0) {
    return false;
  }
  XkbChangeEnabledControls(display, static_cast<unsigned>(device), XkbRepeatKeysMask, XkbRepeatKeysMask);
  XSync(display, False);
  return true;
}

bool XDeviceRepeat::RepeatEnabled(Display* display, const char* deviceName) {
  const int device = XkbKeyboardNamed(display, deviceName);
  return device >= 0 && RepeatOf(display, device) == 1;
}

}  // namespace srd
