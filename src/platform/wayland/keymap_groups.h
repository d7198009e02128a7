#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// The layouts of a keymap a compositor hands its clients: XKB keymap text whose groups carry descriptive
// names ("German", "English (US)") rather than the layout codes the layout tables are found by.

namespace srd {

struct KeymapGroup {
  std::string description;  // the group's name in the keymap
  // The layout and variant of that description; for a description no layout has, the description and the
  // group of the keymap text, which the layout is then read from.
  LayoutName name;
  bool listed = false;  // the description is one XKB's registry lists
};

// The groups of the keymap text, in order; empty when the text does not compile. Each description is looked
// up among the layouts and variants XKB's registry lists (the evdev rules).
std::vector<KeymapGroup> KeymapGroups(const std::string& keymapText);

}  // namespace srd
