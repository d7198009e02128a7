#include "platform/sys/debug_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <mutex>

#include "platform/sys/unicode_text.h"

namespace srd {

namespace {

// Standard error is shared with whoever started the program (a terminal, a log reader's pipe): making its
// open file description non-blocking would change it for them too. A pipe or terminal is opened once more
// instead, non-blocking, for this process alone; the copy is kept while standard error still leads there.
struct OwnChannel {
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;
  dev_t special = 0;

  bool LeadsTo(const struct stat& info) const {
    return fd >= 0 && device == info.st_dev && inode == info.st_ino && special == info.st_rdev;
  }
  void Close() {
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }
};

std::mutex g_channelLock;
OwnChannel g_channel;

// A descriptor for standard error on which a write never blocks, or -1 when there is none: then the caller
// writes only when the channel is ready. Called under g_channelLock.
int NonBlockingCopy(const struct stat& info) {
  if (g_channel.LeadsTo(info)) {
    return g_channel.fd;
  }
  g_channel.Close();
  // O_NOCTTY: a terminal opened here must never become the process's controlling terminal. A pipe whose
  // reader has gone cannot be opened (ENXIO): the line has nowhere to go.
  const int fd = open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  g_channel = OwnChannel{fd, info.st_dev, info.st_ino, info.st_rdev};
  return fd;
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
  std::lock_guard lock(g_channelLock);
  const int own = NonBlockingCopy(info);
  if (own >= 0) {
    return WriteWhole(own, bytes, length);
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
