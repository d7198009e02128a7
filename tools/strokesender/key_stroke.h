#pragma once

#include <cstdint>
#include <string>

// One key as the sender types it: a virtual-key code and the modifiers held around it. A stroke always
// travels as one datagram carrying every press and its release, so a datagram lost on the way never leaves a
// key held down on the receiving machine.

namespace srd::sender {

// Virtual-key codes the sender uses (the receiver's key numbering).
inline constexpr std::uint8_t VK_BACK = 0x08;
inline constexpr std::uint8_t VK_TAB = 0x09;
inline constexpr std::uint8_t VK_RETURN = 0x0D;
inline constexpr std::uint8_t VK_SHIFT = 0x10;
inline constexpr std::uint8_t VK_CONTROL = 0x11;
inline constexpr std::uint8_t VK_MENU = 0x12;
inline constexpr std::uint8_t VK_RMENU = 0xA5;
inline constexpr std::uint8_t VK_ESCAPE = 0x1B;
inline constexpr std::uint8_t VK_SPACE = 0x20;
inline constexpr std::uint8_t VK_PRIOR = 0x21;
inline constexpr std::uint8_t VK_NEXT = 0x22;
inline constexpr std::uint8_t VK_END = 0x23;
inline constexpr std::uint8_t VK_HOME = 0x24;
inline constexpr std::uint8_t VK_LEFT = 0x25;
inline constexpr std::uint8_t VK_UP = 0x26;
inline constexpr std::uint8_t VK_RIGHT = 0x27;
inline constexpr std::uint8_t VK_DOWN = 0x28;
inline constexpr std::uint8_t VK_INSERT = 0x2D;
inline constexpr std::uint8_t VK_DELETE = 0x2E;
inline constexpr std::uint8_t VK_F1 = 0x70;
inline constexpr std::uint8_t VK_OEM_MINUS = 0xBD;
inline constexpr std::uint8_t VK_OEM_5 = 0xDC;

struct KeyStroke {
  std::uint8_t virtualKey = 0;
  bool shift = false;
  bool control = false;
  bool alt = false;
  bool altGr = false;  // right Alt, the AltGr key of layouts that have one

  friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// The datagram text for one stroke: "?", the modifier presses (Ctrl, Alt, AltGr, Shift), the key's press and
// release, then the modifier releases in reverse order. Two-digit commands, lower-case hex: "A" is
// "?k10k41u41u10".
std::string StrokeDatagram(const KeyStroke& stroke);

}  // namespace srd::sender
