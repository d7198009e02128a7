#pragma once

#include <cstdint>

// Key command text ("?K041U041") to key events handed to KeySink.

namespace srd {

// The extra-information word every injected key event carries.
inline constexpr std::uintptr_t KEY_EVENT_TAG = 11;

// Result of ReadHexField: the value and the position after the last byte consumed.
struct HexField {
  std::uint32_t value;
  const char* next;
};

// Reads up to maxDigits digit bytes at position. Digits are not validated: every byte but the terminating
// zero contributes the low four bits of (byte as signed 8-bit, less 7 when above '9').
HexField ReadHexField(const char* position, int maxDigits);

// Decodes one zero-terminated datagram text and calls KeySink once per key event, in order.
void DecodeKeyCommands(const char* text);

}  // namespace srd
