#pragma once

#include <string>

// What --list-layouts prints: every keyboard layout and variant that -l takes on this machine (its XKB data's
// registry), with its description, those typed by a Windows table of their own marked.

namespace srd::sender {

// The listing, one layout or variant a line, ending with a newline; a line saying so when this machine's XKB
// data lists none.
std::string LayoutListText();

}  // namespace srd::sender
