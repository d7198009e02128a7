#pragma once

#include <string>

#include "platform/wayland/deadline.h"

namespace srd {

// A connected stream socket to the Unix socket at `path` (close-on-exec, in blocking mode once connected),
// or -1: the connect itself waits at most until `deadline`, so that a listener whose backlog is full, or that
// never accepts, holds no one up. `stopFd`, when not -1, ends the wait early once it becomes readable.
int ConnectUnixSocket(const std::string& path, const Deadline& deadline, int stopFd = -1);

// Waits until `fd` is readable, `stopFd` (when not -1) is readable, or the deadline (nullptr: none) passes;
// true only for the first.
bool WaitReadable(int fd, int stopFd, const Deadline* deadline);

}  // namespace srd
