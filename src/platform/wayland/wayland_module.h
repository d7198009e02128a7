#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/keys/translating_key_backend.h"
#include "platform/layout/layout_watch.h"
#include "platform/layout/system_layout.h"

// How the program and the Wayland side, built as a loadable module, meet: the Wayland, GLib and D-Bus
// libraries are mapped only in a Wayland session.

namespace srd {

// Raised whenever the entry's signature or LayoutWatch changes.
inline constexpr std::uint32_t kWaylandModuleVersion = 3;

// Follows the keyboard layout of the Wayland session on the compositor `displayName` (the compositor's
// keymap, the active layout from the desktop), reporting through *onChange and saying each decision on
// `lines` (the first line also naming *route, the way keys are typed, unless it is empty); nullptr with
// *whyNot set when the compositor gives no keymap within about a second.
using WaylandLayoutWatchEntry = LayoutWatch* (*)(std::uint32_t version, const std::string* displayName,
                                                 LayoutChanged* onChange, std::FILE* lines,
                                                 const std::string* route, std::string* whyNot);
inline constexpr char kWaylandLayoutWatchEntryName[] = "srd_wayland_module_watch_layout";

// Every layout of the compositor's keymap and the active one, read once as the watch above decides them;
// false with *whyNot set when the compositor gives no keymap within about a second.
using WaylandKeyboardGroupsEntry = bool (*)(std::uint32_t version, const std::string* displayName,
                                            KeyboardGroups* groups, std::string* whyNot);
inline constexpr char kWaylandKeyboardGroupsEntryName[] = "srd_wayland_module_keyboard_groups";

// Whether the compositor `displayName` offers window activation (xdg_activation_v1), asked once.
using WaylandActivationEntry = bool (*)(std::uint32_t version, const std::string* displayName);
inline constexpr char kWaylandActivationEntryName[] = "srd_wayland_module_offers_activation";

// The desktops' own ways of typing into a Wayland session, tried in this order.
enum class WaylandKeyRoute : std::uint32_t {
  kVirtualKeyboard = 0,  // the compositor's virtual keyboard (wlroots compositors: sway and its kin)
  kRemoteDesktop = 1,    // mutter's remote desktop on the session bus (GNOME)
};

// A key backend that types through `route` into the session of the compositor `displayName`, ready before it
// returns; nullptr with *whyNot set (a phrase such as "the compositor offers no virtual keyboard") when the
// route does not answer within about a second.
using WaylandKeyBackendEntry = TranslatingKeyBackend* (*)(std::uint32_t version, WaylandKeyRoute route,
                                                          const std::string* displayName,
                                                          std::string* whyNot);
inline constexpr char kWaylandKeyBackendEntryName[] = "srd_wayland_module_key_backend";

inline constexpr char kWaylandModuleFile[] = "strokerelayd-wayland.so";

}  // namespace srd
