#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// The keyboard layouts and variants that this machine's XKB data describes (its rules' registry, as keyboard
// settings panels list them), each with its human-readable description ("German (no dead keys)"). A keymap
// a compositor sends names its groups by these descriptions only, so finding a layout by its description is
// how such a keymap's groups become layout names.

namespace srd {

struct RegisteredLayout {
  LayoutName name;          // variant empty for the layout itself
  std::string description;  // as the registry gives it, e.g. "German"
};

// Every layout and variant the registry lists, layouts in the registry's order with each one's variants after
// it; empty when the XKB data cannot be read.
std::vector<RegisteredLayout> RegisteredLayouts();

// The layout or variant whose description is exactly this text; nullopt when none is (or several layouts
// share it and none is a base layout).
std::optional<LayoutName> LayoutByDescription(std::string_view description);

}  // namespace srd
