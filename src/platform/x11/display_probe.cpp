#include "platform/x11/display_probe.h"

#include <X11/Xlib.h>

namespace srd {

bool XDisplayAnswers() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return false;
  }
  XCloseDisplay(display);
  return true;
}

}  // namespace srd
