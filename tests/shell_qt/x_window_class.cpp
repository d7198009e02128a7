#include "x_window_class.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace srd::test {

std::string XWindowClass(const std::string& displayName, unsigned long window) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) {
    return std::string();
  }
  std::string result;
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) != 0) {
    result = std::string(hint.res_name != nullptr ? hint.res_name : "") + "/" +
             (hint.res_class != nullptr ? hint.res_class : "");
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  XCloseDisplay(display);
  return result;
}

}  // namespace srd::test
