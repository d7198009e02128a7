#pragma once

#include <array>
#include <cstdint>

// The receiver's key: the one secret a receiver and its paired senders share. It seals (encrypts and
// authenticates) every datagram of the paired mode.

namespace srd::seal {

inline constexpr std::size_t KEY_BYTES = 32;

struct Key {
  std::array<std::uint8_t, KEY_BYTES> bytes{};
  bool operator==(const Key&) const = default;
};

// Starts the cryptographic library once per process; false when it cannot be used (no random source).
// Thread-safe; every other call of this folder assumes it returned true.
bool StartSealing();

// A new key from the system's random source.
Key NewKey();

}  // namespace srd::seal
