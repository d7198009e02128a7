// Any bytes as the file a compositor's keymap event hands over, with any stated size (the first four bytes):
// read for no more than the file holds and the size states, and the text's groups found without a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/wayland/compositor_keymap.h"
#include "platform/wayland/keymap_groups.h"

// libxkbcommon's parser leaks a little on some malformed keymaps (its own allocations, freed by no call of
// ours): its leaks are its own, ours are still found.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libxkbcommon.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > 65536) {
    return 0;
  }
  std::uint32_t stated = 0;
  std::memcpy(&stated, data, 4);
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  if (write(fd, data + 4, size - 4) != static_cast<ssize_t>(size - 4)) {
    close(fd);
    return 0;
  }
  const std::string text = srd::ReadKeymapFile(fd, stated, 1 << 20);
  close(fd);
  if (text.size() > size - 4 || text.size() > stated) {
    __builtin_trap();
  }
  srd::KeymapGroups(text);
  return 0;
}
