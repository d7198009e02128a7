#include "seal/pairing_code.h"

#include <sodium.h>

#include <array>
#include <cstdint>

namespace srd::seal {
namespace {

// Douglas Crockford's Base32 alphabet: digits and capitals without I, L, O and U.
constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr std::size_t kCheckBytes = 3;
constexpr std::size_t kCodeBytes = KEY_BYTES + kCheckBytes;  // 35 bytes = 280 bits = 56 characters
static_assert(kCodeBytes * 8 == PAIRING_CODE_LENGTH * 5);

// The value of one code character, or -1 for one outside the alphabet.
int DigitValue(char c) {
  if (c >= 'a' && c <= 'z') {
    c = static_cast<char>(c - 'a' + 'A');
  }
  if (c == 'I' || c == 'L') {
    c = '1';
  } else if (c == 'O') {
    c = '0';
  }
  for (int i = 0; i < 32; ++i) {
    if (kAlphabet[i] == c) {
      return i;
    }
  }
  return -1;
}

// The check: the first bytes of the key's BLAKE2b hash under a label of its own, so that the check says
// nothing about the key's use for sealing.
std::array<std::uint8_t, kCheckBytes> CheckOf(const Key& key) {
  static constexpr char kLabel[] = "strokerelayd pairing code check";
  std::array<std::uint8_t, kCheckBytes> check{};
  crypto_generichash(check.data(), check.size(), key.bytes.data(), key.bytes.size(),
                     reinterpret_cast<const unsigned char*>(kLabel), sizeof kLabel - 1);
  return check;
}

}  // namespace

std::string PairingCodeFor(const Key& key) {
  std::array<std::uint8_t, kCodeBytes> bytes{};
  std::copy(key.bytes.begin(), key.bytes.end(), bytes.begin());
  const auto check = CheckOf(key);
  std::copy(check.begin(), check.end(), bytes.begin() + KEY_BYTES);

  std::string code;
  code.reserve(PAIRING_CODE_LENGTH);
  std::uint32_t buffer = 0;
  int bits = 0;
  for (std::uint8_t byte : bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      code += kAlphabet[(buffer >> bits) & 0x1f];
    }
  }
  return code;
}

std::optional<Key> KeyFromPairingCode(std::string_view code, std::string* whyNot) {
  if (code.size() != PAIRING_CODE_LENGTH) {
    *whyNot = "a pairing code has " + std::to_string(PAIRING_CODE_LENGTH) + " characters, this one " +
              std::to_string(code.size());
    return std::nullopt;
  }
  std::array<std::uint8_t, kCodeBytes> bytes{};
  std::size_t filled = 0;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : code) {
    const int value = DigitValue(c);
    if (value < 0) {
      *whyNot = "a pairing code has only digits and the letters A to Z";
      return std::nullopt;
    }
    buffer = (buffer << 5) | static_cast<std::uint32_t>(value);
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      bytes[filled++] = static_cast<std::uint8_t>(buffer >> bits);
    }
  }
  Key key;
  std::copy(bytes.begin(), bytes.begin() + KEY_BYTES, key.bytes.begin());
  const auto check = CheckOf(key);
  if (sodium_memcmp(check.data(), bytes.data() + KEY_BYTES, kCheckBytes) != 0) {
    *whyNot = "the pairing code does not check out (a character is wrong)";
    return std::nullopt;
  }
  return key;
}

}  // namespace srd::seal
