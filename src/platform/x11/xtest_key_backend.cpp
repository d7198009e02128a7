#include "platform/x11/xtest_key_backend.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/vk_table.h"
#include "platform/x11/display_changes.h"
#include "platform/x11/layout_watcher.h"
#include "platform/x11/quiet_connection.h"

namespace srd {

namespace {

// Servers whose keymap follows the evdev rules number their keys as the Linux key code + 8.
constexpr int kEvdevKeycodeOffset = 8;

struct KeysymEntry {
  std::uint16_t code;
  KeySym keysym;
};

// For servers with another keymap: the first-level keysym of each key the table can emit, as a us keymap
// gives it, by which the server's own keycode is found. Keys with no keysym there cannot be injected on such
// servers. The main block is found by XKB key name instead (its keysyms move with the layout); these are
// its keysyms for a server that names no keys.
constexpr KeysymEntry kKeysyms[] = {
    {KEY_ESC, XK_Escape},
    {KEY_1, XK_1},
    {KEY_2, XK_2},
    {KEY_3, XK_3},
    {KEY_4, XK_4},
    {KEY_5, XK_5},
    {KEY_6, XK_6},
    {KEY_7, XK_7},
    {KEY_8, XK_8},
    {KEY_9, XK_9},
    {KEY_0, XK_0},
    {KEY_MINUS, XK_minus},
    {KEY_EQUAL, XK_equal},
    {KEY_BACKSPACE, XK_BackSpace},
    {KEY_TAB, XK_Tab},
    {KEY_Q, XK_q},
    {KEY_W, XK_w},
    {KEY_E, XK_e},
    {KEY_R, XK_r},
    {KEY_T, XK_t},
    {KEY_Y, XK_y},
    {KEY_U, XK_u},
    {KEY_I, XK_i},
    {KEY_O, XK_o},
    {KEY_P, XK_p},
    {KEY_LEFTBRACE, XK_bracketleft},
    {KEY_RIGHTBRACE, XK_bracketright},
    {KEY_ENTER, XK_Return},
    {KEY_LEFTCTRL, XK_Control_L},
    {KEY_A, XK_a},
    {KEY_S, XK_s},
    {KEY_D, XK_d},
    {KEY_F, XK_f},
    {KEY_G, XK_g},
    {KEY_H, XK_h},
    {KEY_J, XK_j},
    {KEY_K, XK_k},
    {KEY_L, XK_l},
    {KEY_SEMICOLON, XK_semicolon},
    {KEY_APOSTROPHE, XK_apostrophe},
    {KEY_GRAVE, XK_grave},
    {KEY_LEFTSHIFT, XK_Shift_L},
    {KEY_BACKSLASH, XK_backslash},
    {KEY_Z, XK_z},
    {KEY_X, XK_x},
    {KEY_C, XK_c},
    {KEY_V, XK_v},
    {KEY_B, XK_b},
    {KEY_N, XK_n},
    {KEY_M, XK_m},
    {KEY_COMMA, XK_comma},
    {KEY_DOT, XK_period},
    {KEY_SLASH, XK_slash},
    {KEY_RIGHTSHIFT, XK_Shift_R},
    {KEY_KPASTERISK, XK_KP_Multiply},
    {KEY_LEFTALT, XK_Alt_L},
    {KEY_SPACE, XK_space},
    {KEY_CAPSLOCK, XK_Caps_Lock},
    {KEY_F1, XK_F1},
    {KEY_F2, XK_F2},
    {KEY_F3, XK_F3},
    {KEY_F4, XK_F4},
    {KEY_F5, XK_F5},
    {KEY_F6, XK_F6},
    {KEY_F7, XK_F7},
    {KEY_F8, XK_F8},
    {KEY_F9, XK_F9},
    {KEY_F10, XK_F10},
    {KEY_NUMLOCK, XK_Num_Lock},
    {KEY_SCROLLLOCK, XK_Scroll_Lock},
    {KEY_KP7, XK_KP_Home},
    {KEY_KP8, XK_KP_Up},
    {KEY_KP9, XK_KP_Prior},
    {KEY_KPMINUS, XK_KP_Subtract},
    {KEY_KP4, XK_KP_Left},
    {KEY_KP5, XK_KP_Begin},
    {KEY_KP6, XK_KP_Right},
    {KEY_KPPLUS, XK_KP_Add},
    {KEY_KP1, XK_KP_End},
    {KEY_KP2, XK_KP_Down},
    {KEY_KP3, XK_KP_Next},
    {KEY_KP0, XK_KP_Insert},
    {KEY_KPDOT, XK_KP_Delete},
    {KEY_102ND, XK_less},
    {KEY_F11, XK_F11},
    {KEY_F12, XK_F12},
    {KEY_RO, XK_backslash},  // Japanese keymaps only; a us keymap has none
    {KEY_KATAKANAHIRAGANA, XK_Hiragana_Katakana},
    {KEY_HENKAN, XK_Henkan_Mode},
    {KEY_MUHENKAN, XK_Muhenkan},
    {KEY_RIGHTCTRL, XK_Control_R},
    {KEY_KPSLASH, XK_KP_Divide},
    {KEY_SYSRQ, XK_Print},
    {KEY_RIGHTALT, XK_Alt_R},
    {KEY_HOME, XK_Home},
    {KEY_UP, XK_Up},
    {KEY_PAGEUP, XK_Prior},
    {KEY_LEFT, XK_Left},
    {KEY_RIGHT, XK_Right},
    {KEY_END, XK_End},
    {KEY_DOWN, XK_Down},
    {KEY_PAGEDOWN, XK_Next},
    {KEY_INSERT, XK_Insert},
    {KEY_DELETE, XK_Delete},
    {KEY_MUTE, XF86XK_AudioMute},
    {KEY_VOLUMEDOWN, XF86XK_AudioLowerVolume},
    {KEY_VOLUMEUP, XF86XK_AudioRaiseVolume},
    {KEY_KPEQUAL, XK_KP_Equal},
    {KEY_PAUSE, XK_Pause},
    {KEY_KPCOMMA, XK_KP_Decimal},
    {KEY_HANGEUL, XK_Hangul},
    {KEY_HANJA, XK_Hangul_Hanja},
    {KEY_LEFTMETA, XK_Super_L},
    {KEY_RIGHTMETA, XK_Super_R},
    {KEY_COMPOSE, XK_Menu},
    {KEY_STOP, XK_Cancel},
    {KEY_OPEN, XF86XK_Open},
    {KEY_HELP, XK_Help},
    {KEY_CALC, XF86XK_Calculator},
    {KEY_SLEEP, XF86XK_Sleep},
    {KEY_MAIL, XF86XK_Mail},
    {KEY_BOOKMARKS, XF86XK_Favorites},
    {KEY_COMPUTER, XF86XK_MyComputer},
    {KEY_BACK, XF86XK_Back},
    {KEY_FORWARD, XF86XK_Forward},
    {KEY_NEXTSONG, XF86XK_AudioNext},
    {KEY_PLAYPAUSE, XF86XK_AudioPlay},
    {KEY_PREVIOUSSONG, XF86XK_AudioPrev},
    {KEY_STOPCD, XF86XK_AudioStop},
    {KEY_HOMEPAGE, XF86XK_HomePage},
    {KEY_REFRESH, XF86XK_Reload},
    {KEY_F13, XF86XK_Tools},
    {KEY_F14, XF86XK_Launch5},
    {KEY_F15, XF86XK_Launch6},
    {KEY_F16, XF86XK_Launch7},
    {KEY_F17, XF86XK_Launch8},
    {KEY_F18, XF86XK_Launch9},
    {KEY_F20, XF86XK_AudioMicMute},
    {KEY_F21, XF86XK_TouchpadToggle},
    {KEY_F22, XF86XK_TouchpadOn},
    {KEY_F23, XF86XK_TouchpadOff},
    {KEY_PLAY, XF86XK_AudioPlay},
    {KEY_PRINT, XK_Print},
    {KEY_SEARCH, XF86XK_Search},
    {KEY_MEDIA, XF86XK_AudioMedia},
};

// The keycode that a keymap's key names give a position ("AD06"); 0 when none.
int KeycodeByName(XkbDescPtr xkb, const char* name) {
  if (xkb == nullptr || xkb->names == nullptr || xkb->names->keys == nullptr) {
    return 0;
  }
  for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
    if (std::strncmp(xkb->names->keys[keycode].name, name, XkbKeyNameLength) == 0) {
      return keycode;
    }
  }
  return 0;
}

std::string DisplayLabel(const XTestOptions& options) {
  if (!options.displayName.empty()) {
    return options.displayName;
  }
  const char* env = std::getenv("DISPLAY");
  return env != nullptr ? env : "";
}

}  // namespace

std::unique_ptr<XTestKeyBackend> XTestKeyBackend::Create(const XTestOptions& options, std::string* whyNot) {
  std::unique_ptr<XTestKeyBackend> backend(new XTestKeyBackend(options));
  if (!backend->Connect(whyNot)) {
    return nullptr;
  }
  backend->FollowDisplay(false);
  return backend;
}

void XTestKeyBackend::FollowDisplay(bool again) {
  const std::string label = DisplayLabel(options_);
  keymapMirror_.reset();  // one that lost its server ended with it
  keymapMirror_ = XTestKeymapMirror::Start(label, options_.waylandSession);
  // In a Wayland session the layout is the compositor's, whose watch does not depend on the X server.
  if (again && !options_.waylandSession) {
    if (ReceiverLayout* layout = FollowedLayout()) {
      layout->Rewatch(label, WatchXLayout);
    }
  }
}

XTestKeyBackend::~XTestKeyBackend() {
  ReleaseAll();
  Disconnect();
  keymapMirror_.reset();  // after the releases, which the mirrored keymap reads
}

bool XTestKeyBackend::Connect(std::string* whyNot) {
  lastAttempt_ = std::chrono::steady_clock::now();
  const std::string label = DisplayLabel(options_);
  if (label.empty()) {
    *whyNot = "DISPLAY is not set";
    return false;
  }
  // libX11 1.8 makes every connection thread-safe by itself; this one is used by one thread at a time anyway.
  Display* display = XOpenDisplay(options_.displayName.empty() ? nullptr : options_.displayName.c_str());
  if (display == nullptr) {
    *whyNot = "the X display " + label + " cannot be opened";
    return false;
  }
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
    XCloseDisplay(display);
    *whyNot = "the X display " + label + " has no XTEST extension";
    return false;
  }
  RegisterQuietConnection(display);
  XSetIOErrorExitHandler(display, &XTestKeyBackend::OnConnectionLost, this);

  int minKeycode = 0;
  int maxKeycode = 0;
  XDisplayKeycodes(display, &minKeycode, &maxKeycode);
  // Judged by keys that every layout has in the same place: a letter moves with the layout (AZERTY's a).
  const bool evdev = !options_.lookUpByKeysym &&
                     XKeysymToKeycode(display, XK_Escape) == KEY_ESC + kEvdevKeycodeOffset &&
                     XKeysymToKeycode(display, XK_Left) == KEY_LEFT + kEvdevKeycodeOffset;
  keycodes_.fill(0);
  XkbDescPtr names = evdev ? nullptr : XkbGetMap(display, 0, XkbUseCoreKbd);
  if (names != nullptr && XkbGetNames(display, XkbKeyNamesMask, names) != Success) {
    XkbFreeKeyboard(names, 0, True);
    names = nullptr;
  }
  for (std::uint16_t code : EmittableLinuxKeyCodes()) {
    if (code >= keycodes_.size()) {
      continue;  // beyond what an X keycode can name
    }
    int keycode = 0;
    if (evdev) {
      keycode = code + kEvdevKeycodeOffset;
    } else if (const char* name = XkbKeyName(code); name != nullptr && names != nullptr) {
      keycode = KeycodeByName(names, name);  // a main-block key: by position, whatever the layout types there
    } else {
      const auto* entry = std::find_if(std::begin(kKeysyms), std::end(kKeysyms),
                                       [code](const KeysymEntry& e) { return e.code == code; });
      if (entry != std::end(kKeysyms)) {
        keycode = XKeysymToKeycode(display, entry->keysym);
      }
    }
    if (keycode >= minKeycode && keycode <= maxKeycode && keycode > 0 && keycode <= 255) {
      keycodes_[code] = static_cast<std::uint8_t>(keycode);
    }
  }
  if (names != nullptr) {
    XkbFreeKeyboard(names, 0, True);
  }
  display_ = display;
  lost_ = false;
  PutRightAndRecord(display, label);
  // Without XKB or XInput 2 the server repeats held keys as it always did: injection still works.
  repeat_.TurnOff(display, XDeviceRepeat::kXTestKeyboard);
  return true;
}

void XTestKeyBackend::Disconnect() {
  if (display_ == nullptr) {
    return;
  }
  if (lost_) {
    // The record stays: should the server still be there, the next connection puts it right.
    repeat_.Forget();
  } else {
    repeat_.Restore(display_);
    if (!options_.recordDirectory.empty()) {
      RemoveDisplayChanges(DisplayChangesPath(options_.recordDirectory, DisplayLabel(options_)));
    }
  }
  // On a lost connection Xlib only frees its structures here.
  XCloseDisplay(display_);
  UnregisterQuietConnection(display_);
  display_ = nullptr;
}

void XTestKeyBackend::PutRightAndRecord(Display* display, const std::string& label) {
  if (options_.recordDirectory.empty()) {
    return;
  }
  const std::string path = DisplayChangesPath(options_.recordDirectory, label);
  // Only this process writes there while it holds the lock, and its own connections remove the record when
  // they end well: one found now was left by a connection to this server that did not, under whatever
  // spelling of its name. Records of other servers are theirs, for a later start there.
  if (const std::optional<DisplayChanges> left = ReadDisplayChanges(path);
      left && DisplayServerOf(left->display) == DisplayServerOf(label)) {
    PutDisplayChangesRight(display, *left);
  }
  WriteDisplayChanges(path, {label, XDeviceRepeat::RepeatEnabled(display, XDeviceRepeat::kXTestKeyboard)});
}

void XTestKeyBackend::OnConnectionLost(_XDisplay*, void* self) {
  static_cast<XTestKeyBackend*>(self)->lost_ = true;
}

std::uint8_t XTestKeyBackend::XKeycodeFor(std::uint16_t linuxCode) const {
  return linuxCode < keycodes_.size() && display_ != nullptr ? keycodes_[linuxCode] : 0;
}

void XTestKeyBackend::PrepareForKey() {
  if (display_ != nullptr || std::chrono::steady_clock::now() - lastAttempt_ < options_.reconnectInterval) {
    return;
  }
  std::string ignored;
  if (Connect(&ignored)) {
    // Whatever served the display before may have been replaced by a server with another layout.
    FollowDisplay(true);
  }
}

bool XTestKeyBackend::EmitKey(std::uint16_t code, bool down) {
  if (display_ == nullptr) {
    return false;
  }
  const std::uint8_t keycode = XKeycodeFor(code);
  if (keycode == 0) {
    return false;
  }
  XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime);
  XFlush(display_);
  if (lost_) {
    // The server is gone and with it every key this connection held down.
    Disconnect();
    ForgetHeldKeysLocked();
    return false;
  }
  return true;
}

}  // namespace srd
