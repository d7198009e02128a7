#include "layout_typing.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/choice/receiver_layout_choice.h"
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

// Spacing accents that the receiver's compose table makes from its dead key pressed twice: there the dead
// key and Space give another character (an apostrophe, a quotation mark).
struct DoubledDeadKey {
  std::uint32_t deadKeysym;
  char32_t result;
};
constexpr DoubledDeadKey kDoubledDeadKeys[] = {
    {XKB_KEY_dead_acute, U'\u00B4'},      // ´
    {XKB_KEY_dead_diaeresis, U'\u00A8'},  // ¨
};

bool IsDeadKeysym(std::uint32_t keysym) {
  return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_greek;
}

}  // namespace

LayoutName ThisMachinesLayout(std::string* where) {
  // Found as strokerelayd finds the receiver's: in a Wayland session the compositor's keymap and the
  // desktop's active layout, else the X display's, else the system's keyboard configuration. Where it came
  // from is told in the words of strokerelayd's own line, which the Wayland source writes.
  const char* display = std::getenv("DISPLAY");
  const char* wayland = WaylandSessionDisplay();
  char* said = nullptr;
  std::size_t saidSize = 0;
  std::FILE* lines = where != nullptr && wayland != nullptr ? open_memstream(&said, &saidSize) : nullptr;
  std::unique_ptr<ReceiverLayout> layout = StartReceiverLayout(display, wayland, lines);
  const LayoutName name = layout->Current().Name();
  const bool followed = layout->FollowsDisplay();
  layout.reset();  // its watch writes no more lines once it has gone
  if (lines != nullptr) {
    std::fclose(lines);
  }
  if (where != nullptr) {
    const std::string text = said != nullptr ? std::string(said, saidSize) : std::string();
    const std::size_t open = text.find(" (");
    const std::size_t close = text.find(")\n", open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos) {
      *where = text.substr(open + 2, close - open - 2);
    } else if (wayland != nullptr) {
      *where = "compositor keymap";
    } else if (followed) {
      *where = "the X display " + std::string(display);
    } else {
      *where = "the system's keyboard configuration";
    }
  }
  std::free(said);
  return name;
}

KeyboardGroups ThisMachinesGroups() {
  std::string whyNot;
  if (std::optional<KeyboardGroups> groups = ReadWaylandKeyboardGroups(WaylandSessionDisplay(), &whyNot)) {
    return *groups;
  }
  if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0') {
    if (std::optional<KeyboardGroups> groups = ReadXKeyboardGroups(display)) {
      return *groups;
    }
  }
  return KeyboardGroups{{ThisMachinesLayout()}, 0};
}

std::unique_ptr<LayoutTyping> LayoutTyping::For(const LayoutName& requested, std::string* where) {
  LayoutName name = requested;
  if (name.layout.empty()) {
    name = ThisMachinesLayout(where);
  } else if (where != nullptr) {
    *where = "-l";
  }
  const std::unique_ptr<LayoutKeymap> keymap = LayoutKeymap::Of(name);
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
  for (const DoubledDeadKey& doubled : kDoubledDeadKeys) {
    if (const auto dead = deadKeys_.find(doubled.deadKeysym);
        doubled.result == c && dead != deadKeys_.end()) {
      return {StrokeAt(dead->second), StrokeAt(dead->second)};
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
