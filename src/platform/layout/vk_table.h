#pragma once

#include <cstdint>
#include <span>

// Translation of the 8-bit virtual-key codes that key commands carry into Linux input key codes.

namespace srd {

// The Linux key code of the key that carries the virtual-key code on a US keyboard; 0 when the code names no
// key (mouse buttons, markers, unassigned codes): such events inject nothing. Other layouts move the codes of
// the main block (keyboard_layout.h); everything else is the same on every layout.
std::uint16_t LinuxKeyCode(std::uint8_t virtualKey);

// Every distinct Linux key code that any layout can produce, ascending.
std::span<const std::uint16_t> EmittableLinuxKeyCodes();

// The IME mode keys. The other system sends them as toggles whose key-up may carry another code than the
// key-down, so a key-down of one of them is injected as a whole tap and their key-ups inject nothing: a
// mismatched pair would otherwise leave a key held (and auto-repeating) for good.
bool IsImeToggleKey(std::uint8_t virtualKey);

}  // namespace srd
