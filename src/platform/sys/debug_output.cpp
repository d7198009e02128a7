#include "platform/sys/debug_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/sys/unicode_text.h"

namespace srd {

namespace {

// Standard error is shared with whoever started the program (a terminal, a log reader's pipe): making its
// open file description non-blocking would change it for them too. A pipe or terminal is opened once more
// instead, non-blocking, for this process alone, and only for the one line: a copy kept open would hold a
// pipe that standard error no longer leads to open for writing, and its reader would wait for an end that
// never comes. O_NOCTTY: a terminal opened here must never become the process's controlling terminal. A
// pipe whose reader has gone cannot be opened (ENXIO): the line has nowhere to go.
int OpenNonBlockingCopy() {
  return open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// One write of the whole line; false when it was refused or cut.
bool WriteWhole(int fd, const char* bytes, std::size_t length) {
  for (;;) {
    const ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    return written == static_cast<ssize_t>(length);
  }
}

bool SendWhole(int fd, const char* bytes, std::size_t length) {
  for (;;) {
    const ssize_t sent = send(fd, bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    return sent == static_cast<ssize_t>(length);
  }
}

// A line written as one non-blocking write to a pipe (at most 3 KiB, below the pipe's atomic size) is taken
// whole or not at all.
bool WriteWithoutWaiting(const char* bytes, std::size_t length) {
  struct stat info {};
  if (fstat(STDERR_FILENO, &info) != 0) {
    return false;
  }
  if (S_ISSOCK(info.st_mode)) {  // a journal's stream, for one
    return SendWhole(STDERR_FILENO, bytes, length);
  }
  const bool mayBlock = S_ISFIFO(info.st_mode) || isatty(STDERR_FILENO) == 1;
  const int flags = fcntl(STDERR_FILENO, F_GETFL);
  if (!mayBlock || (flags >= 0 && (flags & O_NONBLOCK) != 0)) {
    return WriteWhole(STDERR_FILENO, bytes, length);  // a file or a device that takes what comes
  }
  if (const int copy = OpenNonBlockingCopy(); copy >= 0) {
    const bool written = WriteWhole(copy, bytes, length);
    close(copy);
    return written;
  }
  // No copy of our own: write only when the channel is ready for it now, and its reader still there.
  pollfd ready{STDERR_FILENO, POLLOUT, 0};
  if (poll(&ready, 1, 0) != 1 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
    return false;
  }
  return WriteWhole(STDERR_FILENO, bytes, length);
}

}  // namespace

bool DebugOutput(const char16_t* text) {
  if (text == nullptr) {
    return false;
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
  return used == 0 || WriteWithoutWaiting(buffer, used);
}

}  // namespace srd
