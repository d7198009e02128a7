#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "key_stroke.h"
#include "platform/layout/keyboard_layout.h"
#include "platform/layout/system_layout.h"

// Which keys type a character on the receiver's keyboard layout: the key that gives it, with Shift and AltGr
// (right Alt) as the layout needs them, or a dead key followed by the base character (ê on fr: the
// circumflex key, then e). Each key is sent as the virtual-key code that the layout's Windows keyboard puts
// on it, so the receiver, set to the same layout, lands on the same key.

namespace srd::sender {

class LayoutTyping {
 public:
  // The typing of a layout; an empty layout name means this machine's own layout (its X display's, else its
  // keyboard configuration). nullptr when XKB knows no such layout.
  // *where, if given, says where the layout came from ("-l", or as strokerelayd's line says it).
  static std::unique_ptr<LayoutTyping> For(const LayoutName& name, std::string* where = nullptr);

  const LayoutName& Name() const { return name_; }
  // The strokes that type c, in order; empty when the layout cannot type it.
  std::vector<KeyStroke> StrokesFor(char32_t c) const;

 private:
  struct Place {
    std::uint8_t virtualKey;
    std::uint8_t level;  // 0 plain, 1 Shift, 2 AltGr, 3 Shift+AltGr
  };
  static KeyStroke StrokeAt(Place place);

  LayoutName name_;
  std::unordered_map<char32_t, Place> characters_;
  std::unordered_map<std::uint32_t, Place> deadKeys_;  // by dead keysym
};

// This machine's own keyboard layout: its X display's active one, else its keyboard configuration.
// *where, if given, says where it came from, in the words of strokerelayd's line.
LayoutName ThisMachinesLayout(std::string* where = nullptr);

// All the layouts of this machine's keyboard (the groups of its keymap, in order) and the one active now.
KeyboardGroups ThisMachinesGroups();

// The layouts to name in the help text: those with a table of their own, comma-separated.
std::string NamedLayoutList();

}  // namespace srd::sender
