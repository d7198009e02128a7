#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "seal/key.h"

// A sealed datagram: the key command text encrypted and authenticated with the receiver's key
// (XChaCha20-Poly1305), behind a header that says which sender sent it and where it stands in that sender's
// order. The header is authenticated too, so no one without the key can change a datagram's place.
//
//   byte 0      0xA7, never "?": a receiver that is not paired ignores the datagram as it ignores any text
//               that is not key commands
//   byte 1      the format, 1
//   bytes 2-9   the sender: random, chosen when the sender starts
//   bytes 10-17 the sender's start, in seconds since 1970 by the sender's clock (little-endian)
//   bytes 18-25 the datagram's number in the sender's order, from 1 (little-endian)
//   then        the sealed text and its 16-byte tag
//
// Bytes 2-25 are the cipher's 24-byte nonce: a sender never numbers two datagrams alike, so no nonce is used
// twice under one key.

namespace srd::seal {

inline constexpr std::size_t SEALED_HEADER_BYTES = 26;
inline constexpr std::size_t SEALED_TAG_BYTES = 16;
inline constexpr std::size_t SEALED_OVERHEAD = SEALED_HEADER_BYTES + SEALED_TAG_BYTES;
// The receiver reads at most this many bytes of a datagram.
inline constexpr std::size_t SEALED_MAX_BYTES = 1024;
// The longest text a sealed datagram that the receiver reads whole can carry.
inline constexpr std::size_t SEALED_MAX_TEXT = SEALED_MAX_BYTES - SEALED_OVERHEAD;

struct SealedPlace {
  std::uint64_t sender = 0;
  std::uint64_t start = 0;
  std::uint64_t number = 0;
};

// The sealed datagram of text (at most SEALED_MAX_TEXT bytes) at place.
std::string SealDatagram(const Key& key, const SealedPlace& place, std::string_view text);

// Opens a datagram of size bytes into text (room for size bytes). True, with its place and the text's
// length, only when it is a sealed datagram of this format that the key sealed and no byte of it was changed.
bool OpenDatagram(const Key& key, const std::uint8_t* datagram, std::size_t size, SealedPlace* place,
                  char* text, std::size_t* textLength);

}  // namespace srd::seal
