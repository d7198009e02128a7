#include "x_pointer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "../support/wait_until.h"

namespace srd::test {

using std::chrono::milliseconds;
using std::chrono::seconds;

Pointer::Pointer(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

Pointer::~Pointer() {
  if (display_ != nullptr) {
    XCloseDisplay(display_);
  }
}

bool Pointer::FindWindow() {
  return display_ != nullptr && WaitUntil([&] { return Look(); }, seconds(20), milliseconds(50));
}

void Pointer::Click(unsigned button, double fx, double fy) {
  XTestFakeMotionEvent(display_, -1, x_ + static_cast<int>(width_ * fx), y_ + static_cast<int>(height_ * fy),
                       CurrentTime);
  XTestFakeButtonEvent(display_, button, True, CurrentTime);
  XTestFakeButtonEvent(display_, button, False, CurrentTime);
  XSync(display_, False);
}

bool Pointer::Look() {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  bool found = false;
  if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) != 0) {
    for (unsigned i = 0; i < count && !found; ++i) {
      char* name = nullptr;
      XWindowAttributes attributes{};
      if (XFetchName(display_, children[i], &name) != 0 && name != nullptr &&
          std::string(name) == "strokerelayd" &&
          XGetWindowAttributes(display_, children[i], &attributes) != 0 &&
          attributes.map_state == IsViewable && attributes.width > 10) {
        x_ = attributes.x;
        y_ = attributes.y;
        width_ = attributes.width;
        height_ = attributes.height;
        found = true;
      }
      XFree(name);
    }
    XFree(children);
  }
  return found;
}

}  // namespace srd::test
