#include "platform/layout/keyboard_layout.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/layout/layout_keymap.h"
#include "platform/layout/vk_table.h"
#include "platform/layout/xkb_name.h"

namespace srd {

namespace {

struct KeyEntry {
  std::uint16_t code;       // Linux key code of the position
  std::uint8_t virtualKey;  // the code that key carries; 0: none
};

constexpr KeyEntry kUs[] = {
#include "layouts/us.inc"
};
constexpr KeyEntry kGb[] = {
#include "layouts/gb.inc"
};
constexpr KeyEntry kJp[] = {
#include "layouts/jp.inc"
};
constexpr KeyEntry kDe[] = {
#include "layouts/de.inc"
};
constexpr KeyEntry kFr[] = {
#include "layouts/fr.inc"
};
constexpr KeyEntry kEs[] = {
#include "layouts/es.inc"
};
constexpr KeyEntry kIt[] = {
#include "layouts/it.inc"
};

struct NamedTable {
  std::string_view layout;
  const char* source;
  std::span<const KeyEntry> differences;  // from kUs
};

constexpr NamedTable kNamedTables[] = {
    {"us", "Windows layout KBDUS (US)", {}},         {"gb", "Windows layout KBDUK (United Kingdom)", kGb},
    {"jp", "Windows layout KBD106 (Japanese)", kJp}, {"de", "Windows layout KBDGR (German)", kDe},
    {"fr", "Windows layout KBDFR (French)", kFr},    {"es", "Windows layout KBDSP (Spanish)", kEs},
    {"it", "Windows layout KBDIT (Italian)", kIt},
};

constexpr auto MakeNamedLayouts() {
  std::array<std::string_view, std::size(kNamedTables)> names{};
  for (std::size_t i = 0; i < names.size(); ++i) {
    names[i] = kNamedTables[i].layout;
  }
  return names;
}
constexpr auto kNamedLayouts = MakeNamedLayouts();

// The main block in row order, plus the two keys only Japanese keyboards have (Yen, Ro).
constexpr std::array<std::uint16_t, std::size(kUs) + 2> MakeLayoutDependentKeys() {
  std::array<std::uint16_t, std::size(kUs) + 2> keys{};
  std::size_t n = 0;
  for (const KeyEntry& entry : kUs) {
    keys[n++] = entry.code;
    if (entry.code == KEY_EQUAL) {
      keys[n++] = KEY_YEN;
    }
    if (entry.code == KEY_SLASH) {
      keys[n++] = KEY_RO;
    }
  }
  return keys;
}
constexpr auto kLayoutDependentKeys = MakeLayoutDependentKeys();

// XKB's names for the keys of the main block: the same physical key on every layout and every keycode set
// (source: xkeyboard-config's keycodes/evdev, where each name is given its evdev code + 8).
struct KeyName {
  std::uint16_t code;
  const char* name;
};
constexpr KeyName kKeyNames[] = {
    {KEY_GRAVE, "TLDE"},      {KEY_1, "AE01"},          {KEY_2, "AE02"},     {KEY_3, "AE03"},
    {KEY_4, "AE04"},          {KEY_5, "AE05"},          {KEY_6, "AE06"},     {KEY_7, "AE07"},
    {KEY_8, "AE08"},          {KEY_9, "AE09"},          {KEY_0, "AE10"},     {KEY_MINUS, "AE11"},
    {KEY_EQUAL, "AE12"},      {KEY_YEN, "AE13"},        {KEY_Q, "AD01"},     {KEY_W, "AD02"},
    {KEY_E, "AD03"},          {KEY_R, "AD04"},          {KEY_T, "AD05"},     {KEY_Y, "AD06"},
    {KEY_U, "AD07"},          {KEY_I, "AD08"},          {KEY_O, "AD09"},     {KEY_P, "AD10"},
    {KEY_LEFTBRACE, "AD11"},  {KEY_RIGHTBRACE, "AD12"}, {KEY_A, "AC01"},     {KEY_S, "AC02"},
    {KEY_D, "AC03"},          {KEY_F, "AC04"},          {KEY_G, "AC05"},     {KEY_H, "AC06"},
    {KEY_J, "AC07"},          {KEY_K, "AC08"},          {KEY_L, "AC09"},     {KEY_SEMICOLON, "AC10"},
    {KEY_APOSTROPHE, "AC11"}, {KEY_BACKSLASH, "BKSL"},  {KEY_102ND, "LSGT"}, {KEY_Z, "AB01"},
    {KEY_X, "AB02"},          {KEY_C, "AB03"},          {KEY_V, "AB04"},     {KEY_B, "AB05"},
    {KEY_N, "AB06"},          {KEY_M, "AB07"},          {KEY_COMMA, "AB08"}, {KEY_DOT, "AB09"},
    {KEY_SLASH, "AB10"},      {KEY_RO, "AB11"},
};

// Codes that name the same key as another code and are never what that key carries (Cancel is Ctrl+Pause,
// Clear is keypad 5 without Num Lock, the IME codes are what the Japanese keys carry only there).
bool IsAliasCode(std::uint8_t virtualKey) {
  return virtualKey == 0x03 || virtualKey == 0x0C || IsImeToggleKey(virtualKey);
}

const NamedTable* FindNamedTable(std::string_view layout) {
  for (const NamedTable& table : kNamedTables) {
    if (table.layout == layout) {
      return &table;
    }
  }
  return nullptr;
}

}  // namespace

class KeyboardLayoutBuilder {
 public:
  // The US assignment with the given keys' codes replaced.
  static KeyboardLayout Make(LayoutName name, LayoutRule rule, std::string source,
                             std::span<const KeyEntry> keys) {
    KeyboardLayout layout;
    layout.name_ = std::move(name);
    layout.rule_ = rule;
    layout.source_ = std::move(source);
    for (int vk = 0; vk < 256; ++vk) {
      const auto virtualKey = static_cast<std::uint8_t>(vk);
      const std::uint16_t code = LinuxKeyCode(virtualKey);
      layout.codeByVirtualKey_[virtualKey] = code;
      if (code != 0 && code < layout.virtualKeyByCode_.size() && layout.virtualKeyByCode_[code] == 0 &&
          !IsAliasCode(virtualKey)) {
        layout.virtualKeyByCode_[code] = virtualKey;
      }
    }
    std::array<std::uint8_t, 512> byKey{};
    std::array<bool, 512> listed{};
    for (const auto& table : {std::span<const KeyEntry>(kUs), keys}) {
      for (const KeyEntry& entry : table) {
        byKey[entry.code] = entry.virtualKey;
        listed[entry.code] = true;
      }
    }
    // A code that some key of the block carries goes where this layout puts it, or nowhere.
    for (const auto& table : {std::span<const KeyEntry>(kUs), keys}) {
      for (const KeyEntry& entry : table) {
        layout.codeByVirtualKey_[entry.virtualKey] = 0;
      }
    }
    for (std::size_t code = 0; code < byKey.size(); ++code) {
      if (!listed[code]) {
        continue;
      }
      layout.virtualKeyByCode_[code] = byKey[code];
      if (byKey[code] != 0 && layout.codeByVirtualKey_[byKey[code]] == 0) {
        layout.codeByVirtualKey_[byKey[code]] = static_cast<std::uint16_t>(code);
      }
    }
    return layout;
  }
};

std::string LayoutName::Text() const {
  return variant.empty() ? layout : layout + ":" + variant;
}

bool ParseLayoutName(std::string_view text, LayoutName* name) {
  const auto colon = text.find(':');
  const std::string_view layout = text.substr(0, colon);
  const std::string_view variant = colon == std::string_view::npos ? "" : text.substr(colon + 1);
  if (!IsXkbName(layout) || (colon != std::string_view::npos && !IsXkbName(variant))) {
    return false;
  }
  name->layout = std::string(layout);
  name->variant = std::string(variant);
  return true;
}

const KeyboardLayout& UsKeyboardLayout() {
  static const KeyboardLayout us =
      KeyboardLayoutBuilder::Make(LayoutName{}, LayoutRule::kNamedTable, kNamedTables[0].source, {});
  return us;
}

std::span<const std::string_view> NamedLayouts() {
  return kNamedLayouts;
}

std::span<const std::uint16_t> LayoutDependentKeys() {
  return kLayoutDependentKeys;
}

const char* XkbKeyName(std::uint16_t code) {
  for (const KeyName& key : kKeyNames) {
    if (key.code == code) {
      return key.name;
    }
  }
  return nullptr;
}

KeyboardLayout MakeKeyboardLayout(const LayoutName& name) {
  const NamedTable* table = name.keymap == nullptr ? FindNamedTable(name.layout) : nullptr;
  std::unique_ptr<LayoutKeymap> keymap;
  if (name.keymap != nullptr || table == nullptr || !name.variant.empty()) {
    keymap = LayoutKeymap::Of(name);
  }
  std::vector<std::pair<std::uint16_t, std::uint8_t>> family;
  if (keymap != nullptr) {
    family = LatinFamilyKeys(*keymap);
  }
  std::vector<KeyEntry> familyKeys;
  for (const auto& [code, virtualKey] : family) {
    familyKeys.push_back({code, virtualKey});
  }
  if (table != nullptr) {
    KeyboardLayout named =
        KeyboardLayoutBuilder::Make(name, LayoutRule::kNamedTable, table->source, table->differences);
    // A variant that moves letters or digits (Dvorak, BÉPO, ...) is no longer the tabled layout.
    const bool sameLettersAndDigits = std::all_of(familyKeys.begin(), familyKeys.end(), [&](KeyEntry e) {
      const std::uint8_t mine = named.VirtualKeyAt(e.code);
      const auto letterOrDigit = [](std::uint8_t vk) {
        return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z');
      };
      return !(letterOrDigit(mine) || letterOrDigit(e.virtualKey)) || mine == e.virtualKey;
    });
    if (sameLettersAndDigits) {
      return named;
    }
  }
  if (!familyKeys.empty()) {
    return KeyboardLayoutBuilder::Make(name, LayoutRule::kLatinFamily,
                                       "letters and digits where the XKB keymap has them", familyKeys);
  }
  return KeyboardLayoutBuilder::Make(
      name, LayoutRule::kUsPositions,
      keymap != nullptr ? "no Latin letters: US positions" : "no XKB keymap of this name: US positions", {});
}

}  // namespace srd
