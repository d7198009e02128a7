#pragma once

#include <cstdint>

// The virtual-key code a key of the sender's own keyboard carries to the receiver.

namespace srd::sender {

// The virtual-key code for the key with this Linux input key code, chosen so that the receiver's key table
// (US / Japanese 106 positions) turns it back into the same key; 0 when no code reaches that key. Where
// several codes reach one key, the plain one wins: the left or right modifier rather than the generic one,
// VK_OEM_3 rather than the input-method toggles on the Hankaku/Zenkaku position, VK_PAUSE rather than
// VK_CANCEL.
std::uint8_t VirtualKeyForLinuxKey(std::uint16_t code);

}  // namespace srd::sender
