#include "platform/wayland/unix_connect.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace srd {

namespace {

// Waits for `events` on fd; false when stopFd woke it, the deadline passed or the wait failed.
bool WaitFor(int fd, short events, int stopFd, const Deadline* deadline) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int ready = poll(fds, stopFd >= 0 ? 2 : 1, deadline != nullptr ? deadline->LeftMs() : -1);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0 || (stopFd >= 0 && (fds[1].revents & POLLIN) != 0)) {
      return false;
    }
    // A hang-up or error is also readiness: the read or connect that follows tells which.
    return (fds[0].revents & (events | POLLHUP | POLLERR)) != 0;
  }
}

}  // namespace

bool WaitReadable(int fd, int stopFd, const Deadline* deadline) {
  return WaitFor(fd, POLLIN, stopFd, deadline);
}

int ConnectUnixSocket(const std::string& path, const Deadline& deadline, int stopFd) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    return -1;
  }
  bool connected = false;
  for (;;) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      connected = true;
      break;
    }
    if (errno == EINPROGRESS) {
      int error = 0;
      socklen_t size = sizeof error;
      connected = WaitFor(fd, POLLOUT, stopFd, &deadline) &&
                  getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
      break;
    }
    // A Unix listener whose backlog is full says EAGAIN and offers no readiness to wait for: tried again
    // every few milliseconds until the deadline (or a stop).
    if (errno != EAGAIN && errno != EINTR) {
      break;
    }
    pollfd stop{stopFd, POLLIN, 0};
    if (deadline.Over() || poll(&stop, 1, std::min(deadline.LeftMs(), 20)) > 0) {
      break;
    }
  }
  if (!connected || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace srd
