#include "support/seat_keyboard_standin.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

#include "support/keymap_text.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace srd::test {

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* globals = static_cast<Globals*>(data);
  if (globals->seat == nullptr && std::strcmp(interface, wl_seat_interface.name) == 0) {
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (globals->manager == nullptr &&
             std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

}  // namespace

SeatKeyboardStandIn::~SeatKeyboardStandIn() {
  if (display_ == nullptr) {
    return;
  }
  if (keyboard_ != nullptr) {
    zwp_virtual_keyboard_v1_destroy(keyboard_);
  }
  wl_display_roundtrip(display_);
  wl_display_disconnect(display_);
}

bool SeatKeyboardStandIn::Start(const std::string& waylandDisplay, const std::string& layouts) {
  display_ = wl_display_connect(waylandDisplay.c_str());
  if (display_ == nullptr) {
    return false;
  }
  Globals globals;
  static const wl_registry_listener listener = {&OnGlobal, &OnGlobalRemove};
  wl_registry* registry = wl_display_get_registry(display_);
  wl_registry_add_listener(registry, &listener, &globals);
  wl_display_roundtrip(display_);
  seat_ = globals.seat;
  manager_ = globals.manager;
  const std::string text = KeymapTextOf(layouts);
  if (seat_ == nullptr || manager_ == nullptr || text.empty()) {
    return false;
  }
  keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
  const int fd = memfd_create("srd-test-keymap", MFD_CLOEXEC);
  if (fd < 0 || write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
    return false;
  }
  zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                 static_cast<uint32_t>(text.size() + 1));
  close(fd);
  zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
  return wl_display_roundtrip(display_) >= 0;
}

bool SeatKeyboardStandIn::Tap(unsigned code) {
  if (keyboard_ == nullptr) {
    return false;
  }
  zwp_virtual_keyboard_v1_key(keyboard_, 0, code, WL_KEYBOARD_KEY_STATE_PRESSED);
  zwp_virtual_keyboard_v1_key(keyboard_, 0, code, WL_KEYBOARD_KEY_STATE_RELEASED);
  return wl_display_roundtrip(display_) >= 0;
}

}  // namespace srd::test
