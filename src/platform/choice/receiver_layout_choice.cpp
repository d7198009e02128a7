#include "platform/choice/receiver_layout_choice.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sys/loadable_module.h"
#include "platform/wayland/wayland_module.h"
#include "platform/x11/xtest_module.h"

namespace srd {

namespace {

// Follows the display's keyboard layout through the XTest module; nullptr without it.
std::unique_ptr<LayoutWatch> WatchXLayoutThroughModule(const std::string& displayName,
                                                       LayoutChanged onChange) {
  std::string whyNot;
  const auto entry = LoadModuleEntry<XLayoutWatchEntry>(kXTestModuleFile, kXLayoutWatchEntryName, &whyNot);
  return std::unique_ptr<LayoutWatch>(
      entry != nullptr ? entry(kXTestModuleVersion, &displayName, &onChange, &whyNot) : nullptr);
}

// Follows the Wayland session's layout through the Wayland module, which brings the Wayland, GLib and D-Bus
// libraries with it; nullptr with *whyNot set.
std::unique_ptr<LayoutWatch> WatchWaylandLayoutThroughModule(const std::string& displayName,
                                                             LayoutChanged onChange, std::FILE* lines,
                                                             const std::string& route, std::string* whyNot) {
  const auto entry =
      LoadModuleEntry<WaylandLayoutWatchEntry>(kWaylandModuleFile, kWaylandLayoutWatchEntryName, whyNot);
  return std::unique_ptr<LayoutWatch>(
      entry != nullptr ? entry(kWaylandModuleVersion, &displayName, &onChange, lines, &route, whyNot)
                       : nullptr);
}

}  // namespace

const char* WaylandSessionDisplay() {
  if (const char* display = std::getenv("WAYLAND_DISPLAY"); display != nullptr && *display != '\0') {
    return display;
  }
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return session != nullptr && std::strcmp(session, "wayland") == 0 ? "wayland-0" : nullptr;
}

std::unique_ptr<ReceiverLayout> StartReceiverLayout(const char* xDisplay, const char* waylandDisplay,
                                                    std::FILE* lines, const std::string& route) {
  if (waylandDisplay == nullptr || *waylandDisplay == '\0') {
    return ReceiverLayout::Start(xDisplay, WatchXLayoutThroughModule);
  }
  std::string whyNot;
  auto layout = ReceiverLayout::Start(waylandDisplay, [&](const std::string& name, LayoutChanged onChange) {
    return WatchWaylandLayoutThroughModule(name, std::move(onChange), lines, route, &whyNot);
  });
  if (layout->FollowsDisplay()) {
    return layout;
  }
  // The X display of a Wayland session is XWayland, whose rule names say "us" whatever the compositor's
  // keymap: the system's keyboard configuration is the better guess.
  if (lines != nullptr) {
    const std::string through = route.empty() ? "for" : "through " + route + ",";
    std::fprintf(lines,
                 "strokerelayd: typing %s keyboard layout %s (the system's keyboard configuration: %s)\n",
                 through.c_str(), layout->Current().Name().Text().c_str(), whyNot.c_str());
    std::fflush(lines);
  }
  return layout;
}

std::optional<KeyboardGroups> ReadWaylandKeyboardGroups(const char* waylandDisplay, std::string* whyNot) {
  if (waylandDisplay == nullptr || *waylandDisplay == '\0') {
    *whyNot = "no Wayland session";
    return std::nullopt;
  }
  const auto entry = LoadModuleEntry<WaylandKeyboardGroupsEntry>(kWaylandModuleFile,
                                                                 kWaylandKeyboardGroupsEntryName, whyNot);
  const std::string displayName = waylandDisplay;
  KeyboardGroups groups;
  if (entry == nullptr || !entry(kWaylandModuleVersion, &displayName, &groups, whyNot)) {
    return std::nullopt;
  }
  return groups;
}

}  // namespace srd
