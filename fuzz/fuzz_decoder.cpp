// Any byte sequence as datagram text: the decoder must never read past the terminating zero, whatever the bytes.
// The text is copied into an area exactly as long as the bytes plus the zero, so AddressSanitizer catches a
// read beyond it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"

namespace {

class CountingBackend final : public srd::KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override {
    // Every event is a press or release of a non-zero key with scan code 0 and the tag.
    if (virtualKey == 0 || scanCode != 0 || (flags != 0 && flags != 2) || extraInfo != srd::KEY_EVENT_TAG) {
      __builtin_trap();
    }
    ++events;
  }
  const char* Name() const override { return "counting"; }
  std::size_t events = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) {
    return 0;
  }
  static CountingBackend backend;
  srd::InstallKeyBackend(&backend);
  auto area = std::make_unique<char[]>(size + 1);
  std::memcpy(area.get(), data, size);
  area[size] = '\0';
  backend.events = 0;
  srd::DecodeKeyCommands(area.get());
  // Each command consumes at least its letter and yields at most four events.
  if (backend.events > 4 * size) {
    __builtin_trap();
  }
  return 0;
}
