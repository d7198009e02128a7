#include "sender_screen.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace srd::test {

void SetAutoRepeat(const std::string& displayName, bool on) {
  if (Display* display = XOpenDisplay(displayName.c_str())) {
    if (on) {
      XAutoRepeatOn(display);
    } else {
      XAutoRepeatOff(display);
    }
    XCloseDisplay(display);
  }
}

SenderScreen::SenderScreen(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {}

SenderScreen::~SenderScreen() {
  if (display_ != nullptr) {
    XCloseDisplay(display_);
  }
}

unsigned long SenderScreen::Find(const std::string& title) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  Window found = 0;
  XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count && found == 0; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, children[i], &attributes) && attributes.map_state == IsViewable &&
        Title(children[i]) == title) {
      found = children[i];
    }
  }
  XFree(children);
  return found;
}

unsigned long SenderScreen::Focused() {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  return focus;
}

void SenderScreen::Focus(unsigned long window) {
  XSetInputFocus(display_, window, RevertToNone, CurrentTime);
  XFlush(display_);
}

void SenderScreen::Unfocus() {
  Focus(DefaultRootWindow(display_));
}

void SenderScreen::Key(int keycode, bool down) {
  XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), down ? True : False, CurrentTime);
  XFlush(display_);
}

void SenderScreen::LockGroup(unsigned group) {
  XkbLockGroup(display_, XkbUseCoreKbd, group);
  XSync(display_, False);
}

void SenderScreen::AskToClose(unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

std::string SenderScreen::Title(unsigned long window) {
  Atom type = 0;
  int format = 0;
  unsigned long length = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False), 0, 256, False,
                     XInternAtom(display_, "UTF8_STRING", False), &type, &format, &length, &remaining, &data);
  std::string title = data != nullptr ? std::string(reinterpret_cast<char*>(data), length) : std::string();
  XFree(data);
  return title;
}

}  // namespace srd::test
