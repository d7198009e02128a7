#pragma once

#include <cstdint>

#include "platform/layout/keyboard_layout.h"

// The virtual-key code a key of the sender's own keyboard carries to the receiver.

namespace srd::sender {

// The virtual-key code that a Windows keyboard of `layout` gives the key with this Linux input key code, so
// that the receiver, whatever its own layout, types what that key's label says; 0 when no code reaches the
// key. The main block follows the layout; elsewhere, where several codes reach one key, the plain one wins:
// the left or right modifier rather than the generic one, VK_OEM_3 rather than the input-method toggles on
// the Hankaku/Zenkaku position, VK_PAUSE rather than VK_CANCEL.
std::uint8_t CapturedVirtualKey(const KeyboardLayout& layout, std::uint16_t code);

}  // namespace srd::sender
