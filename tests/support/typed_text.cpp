#include "typed_text.h"

#include <X11/keysym.h>

#include <array>
#include <optional>

#include "platform/sys/unicode_text.h"

namespace srd {
namespace {

// The levels a core keymap lists per keycode: plain, Shift, then (after the second group's two) AltGr and
// AltGr+Shift.
constexpr std::array<int, 4> kMappingIndex = {0, 1, 4, 5};

std::optional<char32_t> CharacterOf(unsigned long keysym) {
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
    return static_cast<char32_t>(keysym);  // Latin-1 keysyms are their code points
  }
  if ((keysym & 0xFF000000UL) == 0x01000000UL) {
    return static_cast<char32_t>(keysym & 0x00FFFFFFUL);
  }
  if (keysym == XK_EuroSign) {
    return U'\u20AC';  // the one keysym of the layouts' AltGr levels that predates Unicode keysyms
  }
  if (keysym == XK_Return || keysym == XK_KP_Enter || keysym == XK_Linefeed) {
    return U'\n';
  }
  if (keysym == XK_Tab) {
    return U'\t';
  }
  return std::nullopt;
}

}  // namespace

std::u32string TypedText(const std::vector<KeyEvent>& events, KeyObserver& observer) {
  // Looked up once per keycode: a long text would otherwise cost a server round trip per key.
  std::array<std::optional<std::array<unsigned long, 4>>, 256> keymap;
  const auto keysyms = [&](int keycode) -> const std::array<unsigned long, 4>& {
    auto& entry = keymap[static_cast<std::size_t>(keycode & 0xFF)];
    if (!entry) {
      entry.emplace();
      for (std::size_t level = 0; level < kMappingIndex.size(); ++level) {
        (*entry)[level] = observer.KeysymOf(keycode, kMappingIndex[level]);
      }
    }
    return *entry;
  };
  int shift = 0;
  int altGr = 0;
  int control = 0;  // Control and Alt
  std::u32string text;
  for (const auto& [keycode, down] : events) {
    const int change = down ? 1 : -1;
    const unsigned long plain = keysyms(keycode)[0];
    if (plain == XK_Shift_L || plain == XK_Shift_R) {
      shift += change;
    } else if (plain == XK_ISO_Level3_Shift || plain == XK_Mode_switch) {
      altGr += change;
    } else if (plain == XK_Control_L || plain == XK_Control_R || plain == XK_Alt_L || plain == XK_Alt_R) {
      control += change;
    } else if (down && control <= 0) {
      const std::size_t level = (altGr > 0 ? 2 : 0) + (shift > 0 ? 1 : 0);
      unsigned long keysym = keysyms(keycode)[level];
      if (keysym == 0 && level % 2 == 1) {
        keysym = keysyms(keycode)[level - 1];  // a key with one level types the same with Shift
      }
      if (const auto c = CharacterOf(keysym)) {
        text.push_back(*c);
      } else if (keysyms(keycode) == std::array<unsigned long, 4>{}) {
        text.push_back(kUnknownCharacter);
      }
    }
  }
  return text;
}

std::string Utf8Of(const std::u32string& text) {
  std::string out;
  for (const char32_t c : text) {
    char bytes[4];
    out.append(bytes, EncodeUtf8(c, bytes));
  }
  return out;
}

}  // namespace srd
