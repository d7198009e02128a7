// The Wayland side as a loadable module: its entry point.

#include "platform/wayland/activation_probe.h"
#include "platform/wayland/kde_layout_source.h"
#include "platform/wayland/remote_desktop_key_backend.h"
#include "platform/wayland/virtual_keyboard_key_backend.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "platform/wayland/wayland_module.h"

extern "C" __attribute__((visibility("default"))) srd::LayoutWatch* srd_wayland_module_watch_layout(
    std::uint32_t version, const std::string* displayName, srd::LayoutChanged* onChange, std::FILE* lines,
    const std::string* route, std::string* whyNot) {
  if (version != srd::kWaylandModuleVersion || displayName == nullptr || onChange == nullptr ||
      route == nullptr) {
    *whyNot = "the Wayland module was built for another version of strokerelayd";
    return nullptr;
  }
  return srd::WaylandLayoutWatch::Start(*displayName, std::move(*onChange), srd::DesktopLayoutSources(),
                                        lines, whyNot, *route)
      .release();
}

extern "C" __attribute__((visibility("default"))) srd::TranslatingKeyBackend* srd_wayland_module_key_backend(
    std::uint32_t version, srd::WaylandKeyRoute route, const std::string* displayName, std::string* whyNot) {
  if (version != srd::kWaylandModuleVersion || displayName == nullptr) {
    *whyNot = "the Wayland module was built for another version of strokerelayd";
    return nullptr;
  }
  switch (route) {
    case srd::WaylandKeyRoute::kVirtualKeyboard:
      return srd::VirtualKeyboardKeyBackend::Create(*displayName, whyNot).release();
    case srd::WaylandKeyRoute::kRemoteDesktop:
      return srd::RemoteDesktopKeyBackend::Create(srd::SessionBusAddress(), whyNot).release();
  }
  *whyNot = "the Wayland module knows no such way of typing";
  return nullptr;
}

extern "C" __attribute__((visibility("default"))) bool srd_wayland_module_keyboard_groups(
    std::uint32_t version, const std::string* displayName, srd::KeyboardGroups* groups, std::string* whyNot) {
  if (version != srd::kWaylandModuleVersion || displayName == nullptr || groups == nullptr) {
    *whyNot = "the Wayland module was built for another version of strokerelayd";
    return false;
  }
  const auto watch = srd::WaylandLayoutWatch::Start(
      *displayName, [](const srd::LayoutName&) {}, srd::DesktopLayoutSources(), nullptr, whyNot);
  if (watch == nullptr) {
    return false;
  }
  *groups = watch->Groups();
  return !groups->layouts.empty();  // else no keyboard yet: *whyNot says so
}

extern "C" __attribute__((visibility("default"))) bool srd_wayland_module_offers_activation(
    std::uint32_t version, const std::string* displayName) {
  return version == srd::kWaylandModuleVersion && displayName != nullptr &&
         srd::CompositorOffersActivation(*displayName);
}
