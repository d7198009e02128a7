#pragma once

// The debug output channel: where diagnostic lines go. On Linux it is standard error.

namespace srd {

// Writes one NUL-terminated UTF-16 text to standard error as UTF-8, each 16-bit unit taken as one code point,
// in a single write so that a line from one thread never interleaves with another's. Never waits for the
// reader: a pipe, terminal or socket that cannot take the whole line now, or a reader that went away, drops
// it. True when the line was written whole.
bool DebugOutput(const char16_t* text);

}  // namespace srd
