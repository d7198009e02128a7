#include "platform/ui/x_display_probe.h"

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
