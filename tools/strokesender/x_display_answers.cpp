#include "x_display_answers.h"

#include <X11/Xlib.h>

namespace srd::sender {

bool XDisplayAnswers() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return false;
  }
  XCloseDisplay(display);
  return true;
}

}  // namespace srd::sender
