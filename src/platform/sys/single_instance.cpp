#include "platform/sys/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace srd {
namespace {

constexpr char kRequest[] = "come-forward\n";
constexpr char kAnswer[] = "ok\n";

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) {
    return false;
  }
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads until `expected` arrived, the peer closed, or timeoutMs passed.
bool ReadExactly(int fd, const char* expected, int timeoutMs) {
  const std::size_t length = std::strlen(expected);
  std::string got;
  const long long deadline = NowMs() + timeoutMs;
  while (got.size() < length) {
    const long long left = deadline - NowMs();
    if (left <= 0) {
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r <= 0) {
      return false;
    }
    char buffer[32];
    const ssize_t n = recv(fd, buffer, std::min(sizeof buffer, length - got.size()), 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got == expected;
}

bool SendAll(int fd, const char* text) {
  std::size_t sent = 0;
  const std::size_t length = std::strlen(text);
  while (sent < length) {
    const ssize_t n = send(fd, text + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string DefaultInstanceDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return runtime;
  }
  const uid_t uid = getuid();
  std::string directory = "/tmp/strokerelayd-" + std::to_string(uid);
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    return {};
  }
  struct stat info {};
  // lstat: a symbolic link planted by someone else is refused like any foreign directory.
  if (lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
      (info.st_mode & 077) != 0) {
    return {};
  }
  return directory;
}

std::string InstanceName(const std::string& first, const std::string& second) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto escape = [](const std::string& part) {
    std::string out;
    for (const char c : part) {
      const auto u = static_cast<unsigned char>(c);
      if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
          u == '_' || u == '-') {
        out += c;
      } else {
        out += '%';
        out += kHex[u >> 4];
        out += kHex[u & 0xF];
      }
    }
    return out;
  };
  return escape(first) + "@" + escape(second);
}

InstanceLock::Result InstanceLock::Acquire(const std::string& directory, const std::string& name,
                                           std::unique_ptr<InstanceLock>* out) {
  if (directory.empty() || name.empty()) {
    return Result::Failed;
  }
  const std::string base = directory + "/" + name;
  const int fd = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    return Result::Failed;
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) {
      continue;
    }
    const bool busy = errno == EWOULDBLOCK;
    close(fd);
    return busy ? Result::HeldElsewhere : Result::Failed;
  }
  out->reset(new InstanceLock(base + ".sock", fd));
  return Result::Acquired;
}

InstanceLock::~InstanceLock() {
  if (listenFd_ >= 0) {
    close(listenFd_);
    unlink(socketPath_.c_str());
  }
  if (lockFd_ >= 0) {
    close(lockFd_);  // releases the flock
  }
}

int InstanceLock::Listen() {
  if (listenFd_ >= 0) {
    return listenFd_;
  }
  sockaddr_un address{};
  if (!FillAddress(socketPath_, &address)) {
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  // We hold the lock, so a socket file there is a stale one of an earlier holder.
  unlink(socketPath_.c_str());
  // The directory is private already; the mode and the peer check in AcceptComeForwardRequest are a second
  // fence for directories we did not make ourselves.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(socketPath_.c_str(), 0600) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return -1;
  }
  listenFd_ = fd;
  return fd;
}

bool InstanceLock::AcceptComeForwardRequest() {
  if (listenFd_ < 0) {
    return false;
  }
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bool ok = false;
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == getuid()) {
    ok = ReadExactly(fd, kRequest, 1000);
    if (ok) {
      SendAll(fd, kAnswer);
    }
  }
  close(fd);
  return ok;
}

bool AskInstanceToComeForward(const std::string& directory, const std::string& name, int timeoutMs) {
  sockaddr_un address{};
  if (directory.empty() || !FillAddress(directory + "/" + name + ".sock", &address)) {
    return false;
  }
  const long long deadline = NowMs() + timeoutMs;
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return false;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const long long left = deadline - NowMs();
      const bool ok =
          SendAll(fd, kRequest) && ReadExactly(fd, kAnswer, static_cast<int>(left > 1000 ? left : 1000));
      close(fd);
      return ok;
    }
    close(fd);
    if (NowMs() >= deadline) {
      return false;
    }
    // The holder has the lock but is not listening yet (or has just gone): try again shortly.
    poll(nullptr, 0, 20);
  }
}

}  // namespace srd
