#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "seal/key.h"
#include "seal/sealed_datagram.h"

// The sending end of the paired mode: seals each datagram with the receiver's key, numbered in this
// sender's order. A sender is new each time a program starts sealing: a random identity and the start time.

namespace srd::seal {

class DatagramSealer {
 public:
  explicit DatagramSealer(const Key& key);

  // The next datagram of the order, sealed; text is at most SEALED_MAX_TEXT bytes.
  std::string Seal(std::string_view text);

 private:
  Key key_;
  SealedPlace place_;
};

}  // namespace srd::seal
