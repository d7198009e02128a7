#include "platform/wayland/activation_probe.h"

#include <wayland-client.h>

#include <cstdint>
#include <cstring>

namespace srd {

namespace {

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
  (void)registry;
  (void)name;
  (void)version;
  if (std::strcmp(interface, "xdg_activation_v1") == 0) {
    *static_cast<bool*>(data) = true;
  }
}

void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

constexpr wl_registry_listener kListener{OnGlobal, OnGlobalRemove};

bool Ask(const std::string& displayName) {
  wl_display* display = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
  if (display == nullptr) {
    return false;
  }
  bool offered = false;
  wl_registry* registry = wl_display_get_registry(display);
  if (registry != nullptr) {
    wl_registry_add_listener(registry, &kListener, &offered);
    wl_display_roundtrip(display);  // every global is announced before the round trip ends
    wl_registry_destroy(registry);
  }
  wl_display_disconnect(display);
  return offered;
}

}  // namespace

bool CompositorOffersActivation(const std::string& displayName) {
  static const bool offered = Ask(displayName);
  return offered;
}

}  // namespace srd
