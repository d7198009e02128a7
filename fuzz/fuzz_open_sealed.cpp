// The paired mode's handling of what arrives from outside: the first byte of an input picks
//   0  the rest is one received datagram: it must never open under the key (nothing here holds the key that
//      sealed it, so any that opens is a forgery the cipher let through); it is then sealed properly, opened
//      again and its text decoded as the receive loop would
//   1  the rest is a stored record of the senders' order: read, it must write out as a text that reads again
//      the same
//   2  the rest is a run of datagram places (9 bytes each: sender, number): the order must type each
//      sender's numbers only ever rising, and stay within its bound
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "checking_key_backend.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"
#include "seal/key.h"
#include "seal/sealed_datagram.h"
#include "seal/sender_order.h"

namespace {

srd::seal::Key FuzzKey() {
  srd::seal::Key key;
  key.bytes.fill(0x42);
  return key;
}

void OpenReceived(const std::uint8_t* data, std::size_t size) {
  static const srd::seal::Key key = FuzzKey();
  char text[srd::seal::SEALED_MAX_BYTES + 1];
  srd::seal::SealedPlace place;
  std::size_t length = 0;
  if (size <= srd::seal::SEALED_MAX_BYTES &&
      srd::seal::OpenDatagram(key, data, size, &place, text, &length)) {
    // Only seeds sealed with the fuzzing key open; their text is decoded like any other.
    text[length] = '\0';
    srd::DecodeKeyCommands(text);
  }
  const std::string plain(reinterpret_cast<const char*>(data), std::min(size, srd::seal::SEALED_MAX_TEXT));
  const std::string sealed = srd::seal::SealDatagram(key, {1, 2, 3}, plain);
  if (sealed.size() > srd::seal::SEALED_MAX_BYTES ||
      !srd::seal::OpenDatagram(key, reinterpret_cast<const std::uint8_t*>(sealed.data()), sealed.size(),
                               &place, text, &length) ||
      std::string(text, length) != plain) {
    std::abort();
  }
  text[length] = '\0';
  srd::DecodeKeyCommands(text);
}

void ReadRecord(const std::uint8_t* data, std::size_t size) {
  srd::seal::SenderOrder order;
  if (!order.Parse(std::string(reinterpret_cast<const char*>(data), size))) {
    return;
  }
  const std::string text = order.Text(false);
  srd::seal::SenderOrder again;
  if (!again.Parse(text) || again.Text(false) != text || order.Size() > srd::seal::SENDER_ORDER_CAPACITY) {
    std::abort();
  }
}

void AdmitRun(const std::uint8_t* data, std::size_t size) {
  srd::seal::SenderOrder order;
  std::map<std::uint64_t, std::uint64_t> typed;
  const auto now = srd::seal::SenderOrder::Clock::now();
  for (std::size_t at = 0; at + 9 <= size; at += 9) {
    srd::seal::SealedPlace place;
    place.sender = data[at];
    place.start = 1000 + data[at] % 4;
    for (int i = 1; i < 9; ++i) {
      place.number = (place.number << 8) | data[at + i];
    }
    const srd::seal::Admission admission = order.Admit(place, now);
    const std::uint64_t key = place.sender;
    if (admission == srd::seal::Admission::kNext || admission == srd::seal::Admission::kAfterGap) {
      if (typed.count(key) != 0 && place.number <= typed[key]) {
        std::abort();  // typed twice, or after a later one
      }
      typed[key] = place.number;
    }
  }
  if (order.Size() > srd::seal::SENDER_ORDER_CAPACITY) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  srd::seal::StartSealing();
  static srd::fuzz::CheckingKeyBackend backend;
  srd::InstallKeyBackend(&backend);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  switch (data[0] % 3) {
    case 0:
      OpenReceived(data + 1, size - 1);
      break;
    case 1:
      ReadRecord(data + 1, size - 1);
      break;
    default:
      AdmitRun(data + 1, size - 1);
      break;
  }
  return 0;
}
