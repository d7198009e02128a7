#include "platform/x11/device_keymap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstring>
#include <initializer_list>

#include "platform/x11/device_repeat.h"

namespace srd {

namespace {

// The parts of a keymap that decide what a key types: key types, symbols, modifier map, actions, behaviours,
// virtual modifiers.
constexpr unsigned kMapParts = XkbAllMapComponentsMask;

}  // namespace

XDeviceKeymap::~XDeviceKeymap() {
  Forget();
}

bool XDeviceKeymap::Copy(Display* display, int from, int to) {
  XkbDescPtr source = XkbGetMap(display, kMapParts, static_cast<unsigned>(from));
  if (source == nullptr) {
    return false;
  }
  if (saved_ == nullptr) {
    saved_ = XkbGetMap(display, kMapParts, static_cast<unsigned>(to));
    if (saved_ == nullptr) {
      XkbFreeKeyboard(source, 0, True);
      return false;
    }
    device_ = to;
  }
  source->device_spec = static_cast<unsigned short>(to);
  const bool copied = XkbSetMap(display, kMapParts, source) != 0;
  XSync(display, False);
  XkbFreeKeyboard(source, 0, True);
  return copied;
}

bool XDeviceKeymap::Differ(Display* display, unsigned a, unsigned b) {
  XkbDescPtr first = XkbGetMap(display, XkbKeySymsMask, a);
  XkbDescPtr second = XkbGetMap(display, XkbKeySymsMask, b);
  // A server that goes away in the middle of the replies leaves descriptions without their symbol maps.
  const auto readable = [](XkbDescPtr desc) {
    return desc != nullptr && desc->map != nullptr && desc->map->key_sym_map != nullptr &&
           desc->map->syms != nullptr;
  };
  bool differ = !readable(first) || !readable(second) || first->min_key_code != second->min_key_code ||
                first->max_key_code != second->max_key_code;
  // !differ first: a description may be missing altogether.
  for (int key = differ ? 0 : first->min_key_code; !differ && key <= first->max_key_code; ++key) {
    const int count = XkbKeyNumSyms(first, key);
    differ = count != XkbKeyNumSyms(second, key) ||
             XkbKeyNumGroups(first, key) != XkbKeyNumGroups(second, key) ||
             std::memcmp(XkbKeySymsPtr(first, key), XkbKeySymsPtr(second, key), count * sizeof(KeySym)) != 0;
  }
  for (XkbDescPtr desc : {first, second}) {
    if (desc != nullptr) {
      XkbFreeKeyboard(desc, 0, True);
    }
  }
  return differ;
}

void XDeviceKeymap::Restore(Display* display) {
  if (saved_ != nullptr) {
    saved_->device_spec = static_cast<unsigned short>(device_);
    XkbSetMap(display, kMapParts, saved_);
    XSync(display, False);
  }
  Forget();
}

void XDeviceKeymap::Forget() {
  if (saved_ != nullptr) {
    XkbFreeKeyboard(saved_, 0, True);
    saved_ = nullptr;
  }
}

int XkbEventBase(Display* display) {
  int opcode = 0;
  int eventBase = 0;
  int errorBase = 0;
  int major = XkbMajorVersion;
  int minor = XkbMinorVersion;
  return XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor) ? eventBase : -1;
}

bool IsXWayland(Display* display) {
  int opcode = 0;
  int event = 0;
  int error = 0;
  // The extension came with Xwayland 23.1; before it, its input devices give it away once it has them.
  return XQueryExtension(display, "XWAYLAND", &opcode, &event, &error) != 0 ||
         FindSlaveKeyboard(display, kXWaylandKeyboard, true) >= 0;
}

}  // namespace srd
