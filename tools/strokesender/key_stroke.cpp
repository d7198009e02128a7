#include "key_stroke.h"

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
  std::string text = "?";
  if (stroke.control)
    AppendCommand(text, 'k', VK_CONTROL);
  if (stroke.alt)
    AppendCommand(text, 'k', VK_MENU);
  if (stroke.shift)
    AppendCommand(text, 'k', VK_SHIFT);
  AppendCommand(text, 'k', stroke.virtualKey);
  AppendCommand(text, 'u', stroke.virtualKey);
  if (stroke.shift)
    AppendCommand(text, 'u', VK_SHIFT);
  if (stroke.alt)
    AppendCommand(text, 'u', VK_MENU);
  if (stroke.control)
    AppendCommand(text, 'u', VK_CONTROL);
  return text;
}

}  // namespace srd::sender
