#pragma once

#include <string>

struct wl_display;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace srd::test {

// The user's own keyboard on the seat of a headless wlroots compositor, which has none: a virtual keyboard
// of the test's with the keymap a user's keyboard configuration gives ("us,de"), so that the compositor's
// keymap is that one. It can type a key of its own, to learn when a window has the focus.
class SeatKeyboardStandIn {
 public:
  SeatKeyboardStandIn() = default;
  ~SeatKeyboardStandIn();
  SeatKeyboardStandIn(const SeatKeyboardStandIn&) = delete;
  SeatKeyboardStandIn& operator=(const SeatKeyboardStandIn&) = delete;

  // Connects to the compositor `waylandDisplay` and adds the keyboard; false when it could not.
  bool Start(const std::string& waylandDisplay, const std::string& layouts);
  // Presses and releases one key by Linux key code.
  bool Tap(unsigned code);

 private:
  wl_display* display_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
};

}  // namespace srd::test
