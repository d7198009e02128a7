#include "virtual_key_for_linux_key.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>

#include "platform/layout/vk_table.h"

namespace srd::sender {
namespace {

// Codes that reach a key some other code also reaches, and that a keyboard sends only in a special state:
// VK_CANCEL is Ctrl+Pause, VK_CLEAR keypad 5 with Num Lock off, the generic modifiers stand for either side,
// the input-method codes toggle modes, VK_ABNT_C2 is a Brazilian keypad's. Chosen only for a key no plain
// code reaches (the Katakana/Hiragana key, the Hangul and Hanja keys).
bool IsAlias(std::uint8_t virtualKey) {
  switch (virtualKey) {
    case 0x03:  // VK_CANCEL
    case 0x0C:  // VK_CLEAR
    case 0x10:  // VK_SHIFT
    case 0x11:  // VK_CONTROL
    case 0x12:  // VK_MENU
    case 0xC2:  // VK_ABNT_C2
      return true;
    default:
      return IsImeToggleKey(virtualKey);
  }
}

struct Inverse {
  std::array<std::uint8_t, KEY_MAX + 1> byCode{};
};

Inverse MakeInverse() {
  Inverse inverse;
  // Aliases first, so that a plain code written later replaces them; the lowest code of each kind wins.
  for (const bool aliases : {true, false}) {
    for (int vk = 255; vk >= 1; --vk) {
      const auto virtualKey = static_cast<std::uint8_t>(vk);
      const std::uint16_t code = LinuxKeyCode(virtualKey);
      if (code != 0 && code <= KEY_MAX && IsAlias(virtualKey) == aliases) {
        inverse.byCode[code] = virtualKey;
      }
    }
  }
  // The keypad's Enter is an Enter to the receiving machine: a virtual-key code does not tell the two apart.
  inverse.byCode[KEY_KPENTER] = 0x0D;
  return inverse;
}

}  // namespace

std::uint8_t CapturedVirtualKey(const KeyboardLayout& layout, std::uint16_t code) {
  const auto dependent = LayoutDependentKeys();
  if (std::find(dependent.begin(), dependent.end(), code) != dependent.end()) {
    return layout.VirtualKeyAt(code);
  }
  static const Inverse inverse = MakeInverse();
  return code <= KEY_MAX ? inverse.byCode[code] : 0;
}

}  // namespace srd::sender
