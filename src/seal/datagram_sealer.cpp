#include "seal/datagram_sealer.h"

#include <sodium.h>

#include <ctime>

namespace srd::seal {

DatagramSealer::DatagramSealer(const Key& key) : key_(key) {
  randombytes_buf(&place_.sender, sizeof place_.sender);
  const std::time_t now = std::time(nullptr);
  place_.start = now > 0 ? static_cast<std::uint64_t>(now) : 1;
}

std::string DatagramSealer::Seal(std::string_view text) {
  ++place_.number;
  return SealDatagram(key_, place_, text);
}

}  // namespace srd::seal
