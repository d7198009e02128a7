#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/keys/key_sink.h"

namespace srd {

// One key event as KeySink received it.
struct RecordedKeyEvent {
  std::uint8_t virtualKey;
  std::uint8_t scanCode;
  std::uint32_t flags;
  std::uintptr_t extraInfo;
  friend bool operator==(const RecordedKeyEvent&, const RecordedKeyEvent&) = default;
};

// Keeps every event it is handed, in order; for tests and measurements. Thread-safe.
class RecordingKeyBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override;
  const char* Name() const override { return "recording"; }

  std::vector<RecordedKeyEvent> Events() const;
  std::size_t Count() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedKeyEvent> events_;
};

}  // namespace srd
