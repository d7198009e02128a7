#include "layout_typing.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/layout/layout_keymap.h"
#include "platform/layout/receiver_layout.h"
#include "platform/x11/layout_watcher.h"

namespace srd::sender {
namespace {

// Characters typed with a dead key: the dead key's keysym, the base characters, and what each becomes.
struct DeadKeyRow {
  std::uint32_t deadKeysym;
  std::u32string_view bases;
  std::u32string_view results;
};
constexpr DeadKeyRow kDeadKeyRows[] = {
    {XKB_KEY_dead_grave, U"aeiouAEIOU ", U"àèìòùÀÈÌÒÙ`"},
    {XKB_KEY_dead_acute, U"aeiouyAEIOUY", U"áéíóúýÁÉÍÓÚÝ"},
    {XKB_KEY_dead_circumflex, U"aeiouAEIOU ", U"âêîôûÂÊÎÔÛ^"},
    {XKB_KEY_dead_diaeresis, U"aeiouyAEIOU", U"äëïöüÿÄËÏÖÜ"},
    {XKB_KEY_dead_tilde, U"anoANO ", U"ãñõÃÑÕ~"},
};

bool IsDeadKeysym(std::uint32_t keysym) {
  return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_greek;
}

}  // namespace

LayoutName ThisMachinesLayout() {
  return ReceiverLayout::Start(std::getenv("DISPLAY"), WatchXLayout)->Current().Name();
}

KeyboardGroups ThisMachinesGroups() {
  if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0') {
    if (std::optional<KeyboardGroups> groups = ReadXKeyboardGroups(display)) {
      return *groups;
    }
  }
  return KeyboardGroups{{ThisMachinesLayout()}, 0};
}

std::unique_ptr<LayoutTyping> LayoutTyping::For(const LayoutName& requested) {
  LayoutName name = requested;
  if (name.layout.empty()) {
    name = ThisMachinesLayout();
  }
  const std::unique_ptr<LayoutKeymap> keymap = LayoutKeymap::Compile(name);
  if (keymap == nullptr) {
    return nullptr;
  }
  const KeyboardLayout layout = MakeKeyboardLayout(name);
  std::unique_ptr<LayoutTyping> typing(new LayoutTyping());
  typing->name_ = name;
  // AltGr levels count only where right Alt is AltGr.
  const int maxLevels = keymap->Keysym(KEY_RIGHTALT, 0) == XKB_KEY_ISO_Level3_Shift ? 4 : 2;
  std::vector<std::uint16_t> keys(LayoutDependentKeys().begin(), LayoutDependentKeys().end());
  keys.push_back(KEY_SPACE);
  // Lower levels first, so that a character on two keys is typed the simpler way.
  for (int level = 0; level < maxLevels; ++level) {
    for (std::uint16_t key : keys) {
      const std::uint8_t virtualKey = key == KEY_SPACE ? VK_SPACE : layout.VirtualKeyAt(key);
      if (virtualKey == 0 || layout.LinuxKeyCode(virtualKey) != key || level >= keymap->Levels(key)) {
        continue;
      }
      const std::uint32_t keysym = keymap->Keysym(key, level);
      const Place place{virtualKey, static_cast<std::uint8_t>(level)};
      if (IsDeadKeysym(keysym)) {
        typing->deadKeys_.emplace(keysym, place);
      } else if (const char32_t c = xkb_keysym_to_utf32(keysym); c >= 0x20 && c != 0x7F) {
        typing->characters_.emplace(c, place);
      }
    }
  }
  return typing;
}

KeyStroke LayoutTyping::StrokeAt(Place place) {
  KeyStroke stroke{place.virtualKey};
  stroke.shift = (place.level & 1) != 0;
  stroke.altGr = place.level >= 2;
  return stroke;
}

std::vector<KeyStroke> LayoutTyping::StrokesFor(char32_t c) const {
  if (c == '\n') {
    return {KeyStroke{VK_RETURN}};
  }
  if (c == '\t') {
    return {KeyStroke{VK_TAB}};
  }
  if (const auto found = characters_.find(c); found != characters_.end()) {
    return {StrokeAt(found->second)};
  }
  for (const DeadKeyRow& row : kDeadKeyRows) {
    const auto at = row.results.find(c);
    const auto dead = deadKeys_.find(row.deadKeysym);
    if (at == std::u32string_view::npos || dead == deadKeys_.end()) {
      continue;
    }
    if (const auto base = characters_.find(row.bases[at]); base != characters_.end()) {
      return {StrokeAt(dead->second), StrokeAt(base->second)};
    }
  }
  return {};
}

std::string NamedLayoutList() {
  std::string list;
  for (std::string_view name : NamedLayouts()) {
    list += list.empty() ? "" : ", ";
    list += name;
  }
  return list;
}

}  // namespace srd::sender
