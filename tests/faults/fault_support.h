#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

// What the fault tests share: the program as a child process, loopback UDP traffic, and the kernel's view of
// UDP sockets (/proc/net/udp), which tells who holds a port and whether a receiver keeps its queue drained.

namespace srd::faults {

using Clock = std::chrono::steady_clock;

// Polls `done` every few milliseconds until it holds or `limit` passes; returns its last value.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

// One UDP socket bound on the loopback side of the kernel as /proc/net/udp lists it.
struct UdpSocketInfo {
  std::uint16_t localPort = 0;
  std::uint64_t inode = 0;
  std::uint32_t rxQueueBytes = 0;
  std::uint64_t drops = 0;
};
std::vector<UdpSocketInfo> UdpSockets();
// True while any socket is bound to the port.
bool UdpPortBound(std::uint16_t port);
// A port with nothing bound to it a moment ago (never 8102).
std::uint16_t FreeUdpPort();

// A plain UDP socket; Bind holds a port the way another program would (no address reuse).
class UdpSocket {
 public:
  UdpSocket();
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  bool Bind(std::uint16_t port);
  bool SendTo(std::uint16_t port, const void* bytes, std::size_t size) const;
  bool SendTo(std::uint16_t port, const std::string& text) const {
    return SendTo(port, text.data(), text.size());
  }
  void Close();

 private:
  int fd_ = -1;
};

// Random bytes of random length 0..1500, seeded so a failure can be repeated.
class RandomDatagrams {
 public:
  explicit RandomDatagrams(std::uint32_t seed) : engine_(seed) {}
  std::string Next();

 private:
  std::mt19937 engine_;
};

// The program, started with a private instance directory (so no other running instance is found), standard
// error into a file the test reads, and the stop signals unblocked as a shell leaves them. Killed if the test
// ends with it still running.
class ProgramProcess {
 public:
  explicit ProgramProcess(std::map<std::string, std::string> environment = {});
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // True while the process has not ended (it is reaped here if it has).
  bool Running();
  std::string Stderr() const;
  // The sockets of the process that are bound to UDP port `port`.
  bool OwnsUdpPort(std::uint16_t port) const;
  // Bytes queued on the process's socket for `port` (0 when it has none).
  std::uint32_t RxQueueBytes(std::uint16_t port) const;
  // VmRSS in kB, or -1.
  long ResidentKb() const;
  void Signal(int signal) const;
  // Waits for the end; the exit code (128 + signal for a signal) or -1 when the limit passed.
  int WaitExit(std::chrono::milliseconds limit);

 private:
  std::vector<std::uint64_t> SocketInodes() const;

  pid_t pid_ = -1;
  int exitCode_ = -1;
  int stderrFd_ = -1;
  std::string runtimeDir_;
};

// The program's path, from the build.
const char* ProgramPath();

}  // namespace srd::faults
