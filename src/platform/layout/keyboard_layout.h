#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

// Which key a virtual-key code stands for depends on the keyboard layout of the machine that receives it:
// the layout decides, as on the system the codes come from, which physical key carries which code. A
// KeyboardLayout holds that assignment for one layout, in both directions, as plain tables: looking a code
// up never costs more than an array index.

namespace srd {

// An XKB layout name and variant ("de", "nodeadkeys"), as X and /etc/default/keyboard name them.
struct LayoutName {
  LayoutName() = default;
  LayoutName(std::string layoutName, std::string variantName)
      : layout(std::move(layoutName)), variant(std::move(variantName)) {}

  std::string layout = "us";
  std::string variant;
  // A layout XKB has no name for (one of a compositor's own keymap, whose description names it in `layout`):
  // the keymap text and the group of it the layout is read from, instead of a keymap compiled from names.
  std::shared_ptr<const std::string> keymap;
  unsigned group = 0;

  // "de" or "de:nodeadkeys".
  std::string Text() const;
  // The same layout: the same names and, for a compositor's keymap, the same text and group (a compositor
  // sends the same keymap anew each time; it is the same layout all the same).
  friend bool operator==(const LayoutName& a, const LayoutName& b) {
    return a.layout == b.layout && a.variant == b.variant && a.group == b.group &&
           (a.keymap == b.keymap || (a.keymap != nullptr && b.keymap != nullptr && *a.keymap == *b.keymap));
  }
};

// Parses "LAYOUT[:VARIANT]"; false when the text is no layout name (empty, or characters XKB names never
// use).
bool ParseLayoutName(std::string_view text, LayoutName* name);

// How a layout's assignment was found.
enum class LayoutRule {
  kNamedTable,   // one of the Windows layouts tabled in layouts/
  kLatinFamily,  // letters and digits on the keys that give them in the XKB keymap
  kUsPositions,  // no Latin letters (or no keymap to read): the US positions
};

class KeyboardLayout {
 public:
  // The Linux key code a virtual-key code is injected as; 0: nothing is injected.
  std::uint16_t LinuxKeyCode(std::uint8_t virtualKey) const { return codeByVirtualKey_[virtualKey]; }
  // The virtual-key code that the key with this Linux key code carries; 0: none.
  std::uint8_t VirtualKeyAt(std::uint16_t code) const {
    return code < virtualKeyByCode_.size() ? virtualKeyByCode_[code] : 0;
  }

  const LayoutName& Name() const { return name_; }
  LayoutRule Rule() const { return rule_; }
  // The Windows layout the assignment comes from ("KBDGR"), or a description of the rule used.
  const std::string& Source() const { return source_; }

 private:
  friend class KeyboardLayoutBuilder;
  LayoutName name_;
  LayoutRule rule_ = LayoutRule::kUsPositions;
  std::string source_;
  std::array<std::uint16_t, 256> codeByVirtualKey_{};
  std::array<std::uint8_t, 512> virtualKeyByCode_{};
};

// The assignment for an XKB layout and variant: a named table when the layout is one (and the variant keeps
// its letters and digits where the table has them), otherwise the Latin-family rule read from the XKB keymap,
// otherwise the US positions. Compiling a keymap takes milliseconds: call this when the layout changes, never
// per key event.
KeyboardLayout MakeKeyboardLayout(const LayoutName& name);

// The US assignment, without any keymap.
const KeyboardLayout& UsKeyboardLayout();

// The layouts with a table of their own, in the order the documentation lists them.
std::span<const std::string_view> NamedLayouts();

// The main-block keys whose virtual-key code depends on the layout, by Linux key code, in row order.
std::span<const std::uint16_t> LayoutDependentKeys();

// XKB's name of a layout-dependent key ("AD06" for KEY_Y), by which a keymap with other keycodes finds the
// same physical key; nullptr for any other key.
const char* XkbKeyName(std::uint16_t code);

// Free-function forms, for callers that hold a layout by reference.
inline std::uint16_t LinuxKeyForVirtualKey(const KeyboardLayout& layout, std::uint8_t virtualKey) {
  return layout.LinuxKeyCode(virtualKey);
}
inline std::uint8_t VirtualKeyForLinuxKey(const KeyboardLayout& layout, std::uint16_t code) {
  return layout.VirtualKeyAt(code);
}

}  // namespace srd
