#pragma once

#include <string>

namespace srd {

// Whether the Wayland compositor `displayName` (as WAYLAND_DISPLAY names it) lets a program bring its window
// to the front with a token the compositor made (the xdg_activation_v1 protocol). Asked once, on a
// connection of its own; false when no compositor answers.
bool CompositorOffersActivation(const std::string& displayName);

}  // namespace srd
