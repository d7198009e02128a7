#include "seal/sealed_datagram.h"

#include <sodium.h>

static_assert(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES == 24);
static_assert(crypto_aead_xchacha20poly1305_ietf_ABYTES == srd::seal::SEALED_TAG_BYTES);
static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == srd::seal::KEY_BYTES);

namespace srd::seal {
namespace {

constexpr std::uint8_t kMark = 0xA7;
constexpr std::uint8_t kFormat = 1;

void PutWord(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) {
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

std::uint64_t GetWord(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) {
    value = (value << 8) | at[i];
  }
  return value;
}

}  // namespace

std::string SealDatagram(const Key& key, const SealedPlace& place, std::string_view text) {
  std::string datagram(SEALED_OVERHEAD + text.size(), '\0');
  auto* bytes = reinterpret_cast<std::uint8_t*>(datagram.data());
  bytes[0] = kMark;
  bytes[1] = kFormat;
  PutWord(bytes + 2, place.sender);
  PutWord(bytes + 10, place.start);
  PutWord(bytes + 18, place.number);
  unsigned long long sealedLength = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      bytes + SEALED_HEADER_BYTES, &sealedLength, reinterpret_cast<const unsigned char*>(text.data()),
      text.size(), bytes, SEALED_HEADER_BYTES, nullptr, bytes + 2, key.bytes.data());
  datagram.resize(SEALED_HEADER_BYTES + sealedLength);
  return datagram;
}

bool OpenDatagram(const Key& key, const std::uint8_t* datagram, std::size_t size, SealedPlace* place,
                  char* text, std::size_t* textLength) {
  if (size < SEALED_OVERHEAD || datagram[0] != kMark || datagram[1] != kFormat) {
    return false;
  }
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          reinterpret_cast<unsigned char*>(text), &opened, nullptr, datagram + SEALED_HEADER_BYTES,
          size - SEALED_HEADER_BYTES, datagram, SEALED_HEADER_BYTES, datagram + 2, key.bytes.data()) != 0) {
    return false;
  }
  place->sender = GetWord(datagram + 2);
  place->start = GetWord(datagram + 10);
  place->number = GetWord(datagram + 18);
  *textLength = static_cast<std::size_t>(opened);
  return place->number != 0;
}

}  // namespace srd::seal
