#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "seal/key.h"

// The pairing code: the whole key as one word a user reads off one machine and types on another. It is
// written in an alphabet of 32 digits and capital letters without the look-alikes I, L, O and U, and ends
// with a check over the key, so a mistyped or cut code is refused rather than used as another key.

namespace srd::seal {

// Characters in a code: the key's 32 bytes and a 3-byte check, 5 bits to a character.
inline constexpr std::size_t PAIRING_CODE_LENGTH = 56;

std::string PairingCodeFor(const Key& key);

// The key a code carries. Lower case is read as upper case, and the look-alikes as the digits they resemble
// (I and L as 1, O as 0). Nothing, with the reason in whyNot, for a code of the wrong length, with a
// character outside the alphabet, or whose check does not match.
std::optional<Key> KeyFromPairingCode(std::string_view code, std::string* whyNot);

}  // namespace srd::seal
