#pragma once

#include <cstdint>

// The program's only network endpoint: one UDP socket over IPv4, opened on a local port, waited on with a
// time limit and read one datagram at a time. It never sends.

namespace srd {

// Wait mode bits; the same bits make up the result of a successful Wait.
inline constexpr std::int32_t WAIT_READ = 1;
inline constexpr std::int32_t WAIT_WRITE = 2;

// The 16-byte IPv4 socket address: family 2 in host byte order, port and address in network byte order, eight
// zero bytes.
inline constexpr std::int32_t SOCKET_ADDRESS_SIZE = 16;
struct SocketAddress {
  alignas(4) std::uint8_t bytes[SOCKET_ADDRESS_SIZE];
};

// Starts one use of the socket layer; Linux has nothing to start, so this only counts, keeping the pairs
// checkable. Thread-safe.
void SocketsStartup();
// Releases one start; a release without a start leaves the count at 0.
void SocketsCleanup();
// Starts not yet released.
std::int32_t SocketsStartCount();

// Fills address for host (dotted text, or a name that is looked up; nullptr: every local address) and the low
// 16 bits of port. Returns 1, or -1 when the host cannot be resolved (address is then untouched, and a
// "gethostbyname" line is written while reporting is on). Thread-safe.
int BuildAddress(SocketAddress& address, const char* host, std::int32_t port);

// How Wait splits its time limit: whole seconds and the remaining microseconds, truncated toward zero.
struct WaitTimeLimit {
  std::int32_t seconds;
  std::int32_t microseconds;
};
WaitTimeLimit SplitWaitTime(std::int32_t timeoutMs);

class DatagramEndpoint {
 public:
  DatagramEndpoint() = default;
  DatagramEndpoint(const DatagramEndpoint&) = delete;
  DatagramEndpoint& operator=(const DatagramEndpoint&) = delete;
  // Closes the socket if one is still open.
  ~DatagramEndpoint();

  // Creates a UDP socket and binds it to host (nullptr: every local address) and port. 1 or -1; a failed open
  // leaves the endpoint closed with no socket left behind.
  int Open(const char* host, std::int32_t port);
  // Waits at most timeoutMs for the modes asked for. -1 on failure (a closed endpoint fails at once), 0 when
  // the time passed, otherwise the readiness mask.
  int Wait(std::int32_t mode, std::int32_t timeoutMs);
  // Takes one datagram into area (at most length bytes, no terminator) and its sender into source (may be
  // nullptr). The byte count, or -1 on failure; a datagram longer than length is consumed and fails.
  int Receive(void* area, std::int32_t length, SocketAddress* source);
  // Closes the socket if one is open. Always 1.
  int Close();

  std::int32_t handle = -1;        // -1 when no socket is open
  std::uint32_t receiveFlags = 0;  // handed to every receive; nothing changes it
};

}  // namespace srd
