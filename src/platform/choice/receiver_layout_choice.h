#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/layout/receiver_layout.h"
#include "platform/layout/system_layout.h"

namespace srd {

// The Wayland compositor a Wayland session's programs talk to: $WAYLAND_DISPLAY, else "wayland-0" when
// XDG_SESSION_TYPE says wayland; nullptr outside a Wayland session.
const char* WaylandSessionDisplay();

// Where the receiver's keyboard layout comes from, chosen once at start-up. In a Wayland session: the
// compositor's keymap and the desktop's active layout, through the Wayland module, which says on `lines`
// which layout keys are typed for; when it cannot follow the session, the system's keyboard configuration,
// and the line says so and why. Otherwise the X display's layout through the XTest module, else the system's
// keyboard configuration.
// `lines` may be nullptr: nothing is said. `route`, if not empty, names the way keys are typed
// ("the compositor's virtual keyboard (sway)"): the first line says it with the layout.
std::unique_ptr<ReceiverLayout> StartReceiverLayout(const char* xDisplay, const char* waylandDisplay,
                                                    std::FILE* lines, const std::string& route = {});

// Every layout of the Wayland compositor's keymap and the active one, as StartReceiverLayout decides it,
// read once through the Wayland module; nullopt when it cannot be read (the reason in *whyNot).
std::optional<KeyboardGroups> ReadWaylandKeyboardGroups(const char* waylandDisplay, std::string* whyNot);

}  // namespace srd
