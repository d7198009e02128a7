#pragma once

#include "platform/keys/key_sink.h"

namespace srd {

// Injects nothing: the receiver keeps running when no way of injecting keys is available.
class NoneKeyBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override {}
  const char* Name() const override { return "none"; }
};

}  // namespace srd
