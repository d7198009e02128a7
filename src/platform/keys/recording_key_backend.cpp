#include "platform/keys/recording_key_backend.h"

namespace srd {

void RecordingKeyBackend::Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                                 std::uintptr_t extraInfo) {
  std::lock_guard lock(mutex_);
  events_.push_back({virtualKey, scanCode, flags, extraInfo});
}

std::vector<RecordedKeyEvent> RecordingKeyBackend::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t RecordingKeyBackend::Count() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

void RecordingKeyBackend::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

}  // namespace srd
