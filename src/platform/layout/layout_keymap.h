#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// An XKB keymap compiled from layout names, without any X server: which keysyms each key gives. It is what
// the receiver's own keyboard configuration types, and the source of the Latin-family rule.

struct xkb_keymap;

namespace srd {

class LayoutKeymap {
 public:
  // Compiles the keymap of one layout (evdev rules, pc105); nullptr when XKB has no such layout.
  static std::unique_ptr<LayoutKeymap> Compile(const LayoutName& name);
  // One group of a keymap given as XKB keymap text (a compositor's); nullptr when it does not compile or has
  // no such group.
  static std::unique_ptr<LayoutKeymap> FromText(const std::string& text, unsigned group);
  // The keymap a layout name stands for: its compositor's keymap text when it carries one, else compiled from
  // the names.
  static std::unique_ptr<LayoutKeymap> Of(const LayoutName& name) {
    return name.keymap != nullptr ? FromText(*name.keymap, name.group) : Compile(name);
  }
  ~LayoutKeymap();
  LayoutKeymap(const LayoutKeymap&) = delete;
  LayoutKeymap& operator=(const LayoutKeymap&) = delete;

  // The keysym at a shift level (0: plain, 1: Shift, 2: AltGr, 3: Shift+AltGr) of the key with this Linux
  // key code; 0 when the key gives nothing there.
  std::uint32_t Keysym(std::uint16_t code, int level) const;
  // The number of shift levels of that key.
  int Levels(std::uint16_t code) const;

 private:
  LayoutKeymap(xkb_keymap* keymap, unsigned group) : keymap_(keymap), group_(group) {}
  xkb_keymap* keymap_;
  unsigned group_;
};

// The names a keymap given as XKB keymap text gives its groups, in order ("German", "English (US)"); nullopt
// when the text does not compile.
std::optional<std::vector<std::string>> KeymapGroupNames(const std::string& text);

// How a keysym reads in a table: its character ("ä"), or for a dead key or a key without one its XKB name
// ("dead_circumflex"); empty for no keysym.
std::string KeysymLabel(std::uint32_t keysym);

// The Latin-family assignment of a keymap, by Linux key code of the layout-dependent keys: letters and
// digits to the keys that give them (a digit may be the shifted character, as on AZERTY), the other keys to
// the code of the US key giving the same character, else to their US code. Empty when the keymap has too
// few Latin letters to be a Latin layout.
std::vector<std::pair<std::uint16_t, std::uint8_t>> LatinFamilyKeys(const LayoutKeymap& keymap);

}  // namespace srd
