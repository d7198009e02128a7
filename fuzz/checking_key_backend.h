#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"

namespace srd::fuzz {

// Counts the key events the decoder hands over and stops the fuzzer on any event that could not come from a
// well-formed decoding: a press or release of a non-zero key, scan code 0, the tag.
class CheckingKeyBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override {
    if (virtualKey == 0 || scanCode != 0 || (flags != 0 && flags != 2) || extraInfo != KEY_EVENT_TAG) {
      __builtin_trap();
    }
    ++events;
  }
  const char* Name() const override { return "checking"; }
  std::size_t events = 0;
};

}  // namespace srd::fuzz
