#pragma once

// Real UDP traffic on loopback for tests: a socket of the test's own, free ports, random datagrams, and
// (and, through wait_until.h, waiting on conditions with generous bounds).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "udp_port.h"
#include "wait_until.h"

namespace srd::test {

using Clock = std::chrono::steady_clock;

inline sockaddr_in Ipv4(const char* ip, std::int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (ip != nullptr) {
    ::inet_pton(AF_INET, ip, &address.sin_addr);
  }
  return address;
}

// A plain UDP socket: sends and receives datagrams, or holds a port on every local address as another program
// would.
class UdpSocket {
 public:
  UdpSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Bind(std::int32_t port) {
    const sockaddr_in address = Ipv4(nullptr, port);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  bool SendTo(std::int32_t port, std::string_view bytes, const char* ip = "127.0.0.1") const {
    const sockaddr_in to = Ipv4(ip, port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The next datagram that arrives within `wait`; empty when none does.
  std::string Receive(std::chrono::milliseconds wait) const {
    pollfd ready{fd_, POLLIN, 0};
    char buffer[2048];
    const ssize_t got =
        ::poll(&ready, 1, static_cast<int>(wait.count())) == 1 ? ::recv(fd_, buffer, sizeof buffer, 0) : 0;
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
  }
  std::int32_t LocalPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }
  void Close() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_;
};

inline bool SendDatagram(std::int32_t port, std::string_view bytes, const char* ip = "127.0.0.1") {
  return UdpSocket().SendTo(port, bytes, ip);
}

// A port that nothing held a moment ago (the system picks it; never the program's default 8102).
inline std::int32_t FindFreeUdpPort() {
  for (;;) {
    UdpSocket probe;
    probe.Bind(0);
    const std::int32_t port = probe.LocalPort();
    if (port != 8102) {
      return port;
    }
  }
}

// Random bytes of random length 0..1500.
inline std::string RandomDatagram(std::mt19937& engine) {
  std::uniform_int_distribution<int> length(0, 1500);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(static_cast<std::size_t>(length(engine)), '\0');
  for (char& c : bytes) {
    c = static_cast<char>(byte(engine));
  }
  return bytes;
}

// Sends the same datagram to a loopback port as fast as one thread can until stopped or destroyed.
class Flood {
 public:
  Flood(std::int32_t port, std::string text)
      : thread_([this, port, text](std::stop_token stop) {
          UdpSocket sender;
          while (!stop.stop_requested()) {
            sender.SendTo(port, text);
            sent_.fetch_add(1);
          }
        }) {}
  void Stop() {
    thread_.request_stop();
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  // Waits until `count` more datagrams have left; false if they did not within a generous bound.
  bool Sends(long count);

 private:
  std::atomic<long> sent_{0};
  std::jthread thread_;
};

inline bool Flood::Sends(long count) {
  const long base = sent_.load();
  return WaitUntil([&] { return sent_.load() > base + count; }, std::chrono::seconds(10));
}

}  // namespace srd::test
