#include "key_stroke.h"

#include <iterator>
#include <utility>

namespace srd::sender {
namespace {

void AppendCommand(std::string& text, char letter, std::uint8_t virtualKey) {
  static constexpr char kDigits[] = "0123456789abcdef";
  text.push_back(letter);
  text.push_back(kDigits[virtualKey >> 4]);
  text.push_back(kDigits[virtualKey & 0x0F]);
}

}  // namespace

std::string StrokeDatagram(const KeyStroke& stroke) {
  // Pressed in this order, released in the reverse one.
  const std::pair<bool, std::uint8_t> modifiers[] = {{stroke.control, VK_CONTROL},
                                                     {stroke.alt, VK_MENU},
                                                     {stroke.altGr, VK_RMENU},
                                                     {stroke.shift, VK_SHIFT}};
  std::string text = "?";
  for (const auto& [held, virtualKey] : modifiers) {
    if (held)
      AppendCommand(text, 'k', virtualKey);
  }
  AppendCommand(text, 'k', stroke.virtualKey);
  AppendCommand(text, 'u', stroke.virtualKey);
  for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) {
    if (it->first)
      AppendCommand(text, 'u', it->second);
  }
  return text;
}

}  // namespace srd::sender
