#include "platform/sys/debug_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace srd {

namespace {

// Appends one unit as UTF-8. Units are code points of the Basic Multilingual Plane; a lone surrogate is
// encoded like any other unit so that what the caller handed over stays visible as it is.
std::size_t AppendUtf8(char* out, char16_t unit) {
  const unsigned u = unit;
  if (u < 0x80) {
    out[0] = static_cast<char>(u);
    return 1;
  }
  if (u < 0x800) {
    out[0] = static_cast<char>(0xC0 | (u >> 6));
    out[1] = static_cast<char>(0x80 | (u & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | (u >> 12));
  out[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (u & 0x3F));
  return 3;
}

}  // namespace

void DebugOutput(const char16_t* text) {
  if (text == nullptr) {
    return;
  }
  // A diagnostic line is at most 1024 units (the log's wide area); each becomes at most 3 bytes.
  constexpr std::size_t kMaxUnits = 1024;
  char buffer[kMaxUnits * 3];
  std::size_t used = 0;
  for (std::size_t i = 0; i < kMaxUnits && text[i] != 0; ++i) {
    used += AppendUtf8(buffer + used, text[i]);
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
