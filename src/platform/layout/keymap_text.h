#pragma once

#include <string>

// Inside the layouts: XKB keymap text (a compositor's) compiled in this process.

struct xkb_keymap;

namespace srd {

// The keymap the text describes; nullptr when it does not compile. XKB's parser is only given text that has
// already compiled apart from this process (KeymapGroupNames), since some malformed texts crash it.
xkb_keymap* CompileKeymapText(const std::string& text);

}  // namespace srd
