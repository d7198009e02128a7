#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// Where the keyboard layout is written down when no X display tells it.

namespace srd {

inline constexpr const char* kSystemKeyboardFile = "/etc/default/keyboard";

// The system's layout: XKBLAYOUT and XKBVARIANT of the keyboard file (the first of each list), else
// $XKB_DEFAULT_LAYOUT and $XKB_DEFAULT_VARIANT, else us.
LayoutName SystemLayoutName(const char* keyboardFile = kSystemKeyboardFile);

// The layout of one group from XKB's comma-separated lists ("us,de" and ",nodeadkeys", group 1: de with
// variant nodeadkeys). A group past the end of the list is the first one.
LayoutName LayoutOfGroup(std::string_view layouts, std::string_view variants, unsigned group);

// All the layouts of a keymap (its groups, in order) and the one active now.
struct KeyboardGroups {
  std::vector<LayoutName> layouts;
  std::size_t active = 0;
};

// The groups of XKB's comma-separated lists; `active` past the end is the first. Empty lists give one group,
// us.
KeyboardGroups GroupsOfLists(std::string_view layouts, std::string_view variants, unsigned active);

}  // namespace srd
