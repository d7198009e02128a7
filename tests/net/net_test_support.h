#pragma once

// Helpers for tests on real loopback sockets: free ports, a plain sender, waiting on conditions, and the log
// lines that the callback sink receives.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "diag/log.h"

namespace srd::test {

using Clock = std::chrono::steady_clock;

// A UDP port that nothing holds on any local address right now (the system picks it).
inline std::int32_t FindFreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// True when a UDP socket can be bound to every local address on port.
inline bool UdpPortIsFree(std::int32_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

// A UDP socket that holds a port (every local address) until it is destroyed.
class PortHolder {
 public:
  explicit PortHolder(std::int32_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  ~PortHolder() { Release(); }
  bool Bound() const { return bound_; }
  void Release() {
    if (fd_ != -1) {
      ::close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_;
  bool bound_ = false;
};

// Sends one datagram to ip:port from a socket of its own; returns its local port (0 on failure).
inline std::int32_t SendDatagram(const char* ip, std::int32_t port, std::string_view payload) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, ip, &to.sin_addr);
  const ssize_t sent =
      ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  ::close(fd);
  return sent == static_cast<ssize_t>(payload.size()) ? ntohs(local.sin_port) : 0;
}

// Polls condition until it holds or limit passes; the limit is a generous bound, not an expectation.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// One log line as the callback sink received it, and when.
struct CapturedLine {
  std::string text;
  Clock::time_point at;
};

// Routes the log's callback sink into a list for the lifetime of the object (one at a time).
class CapturedLog {
 public:
  CapturedLog() {
    {
      std::lock_guard lock(Mutex());
      Lines().clear();
    }
    SetLogCallback(&CapturedLog::Sink, 0, 0);
    LogMode.fetch_or(LOG_CALLBACK);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;
  ~CapturedLog() {
    LogMode.fetch_and(~LOG_CALLBACK);
    SetLogCallback(nullptr, 0, 0);
  }

  std::vector<CapturedLine> Snapshot() const {
    std::lock_guard lock(Mutex());
    return Lines();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const CapturedLine& line : Snapshot()) {
      texts.push_back(line.text);
    }
    return texts;
  }
  // Lines whose text starts with prefix.
  std::size_t Count(std::string_view prefix) const {
    std::size_t n = 0;
    for (const CapturedLine& line : Snapshot()) {
      n += line.text.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    return n;
  }
  std::size_t Total() const { return Snapshot().size(); }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<CapturedLine>& Lines() {
    static std::vector<CapturedLine> lines;
    return lines;
  }
  static int Sink(const char* line, std::uint32_t, std::uint32_t) {
    std::lock_guard lock(Mutex());
    Lines().push_back({line, Clock::now()});
    return 0;
  }
};

}  // namespace srd::test
