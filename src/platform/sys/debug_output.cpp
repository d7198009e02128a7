#include "platform/sys/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/sys/unicode_text.h"

namespace srd {

void DebugOutput(const char16_t* text) {
  if (text == nullptr) {
    return;
  }
  // A diagnostic line is at most 1024 units (the log's wide area); each becomes at most 3 bytes.
  constexpr std::size_t kMaxUnits = 1024;
  char buffer[kMaxUnits * 3];
  std::size_t used = 0;
  // Unlike Utf16ToUtf8, each unit is one code point: surrogates are not paired, so that what the caller
  // handed over stays visible unit by unit (and a line never needs more than 3 bytes a unit).
  for (std::size_t i = 0; i < kMaxUnits && text[i] != 0; ++i) {
    used += EncodeUtf8(text[i], buffer + used);
  }
  const char* p = buffer;
  while (used > 0) {
    const ssize_t written = ::write(STDERR_FILENO, p, used);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;  // Nobody reads the channel: the line is dropped, as the log expects.
    }
    p += written;
    used -= static_cast<std::size_t>(written);
  }
}

}  // namespace srd
