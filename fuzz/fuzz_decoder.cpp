// Any byte sequence as datagram text: the decoder must never read past the terminating zero, whatever the
// bytes. The text is copied into an area exactly as long as the bytes plus the zero, so AddressSanitizer
// catches a read beyond it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "checking_key_backend.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) {
    return 0;
  }
  static srd::fuzz::CheckingKeyBackend backend;
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
