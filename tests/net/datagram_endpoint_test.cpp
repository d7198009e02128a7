#include "net/datagram_endpoint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "net/net_test_support.h"
#include "net/socket_error.h"

namespace srd {
namespace {

using test::CapturedLog;
using test::Clock;
using test::FindFreeUdpPort;
using test::SendDatagram;

using Bytes = std::array<std::uint8_t, 16>;

Bytes ToBytes(const SocketAddress& address) {
  Bytes bytes;
  std::memcpy(bytes.data(), address.bytes, bytes.size());
  return bytes;
}

// Runs action with the process's standard error sent to a temporary file; returns what arrived there.
template <typename Action>
std::string CaptureStandardError(Action action) {
  std::FILE* file = std::tmpfile();
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(file), STDERR_FILENO);
  action();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  std::string text;
  std::rewind(file);
  char buffer[256];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, n);
  }
  std::fclose(file);
  return text;
}

TEST(BuildAddress, WritesTheIpv4AddressLayout) {
  struct Case {
    const char* host;
    std::int32_t port;
    Bytes expected;
  };
  const Case cases[] = {
      {nullptr, 8102, {0x02, 0x00, 0x1F, 0xA6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {nullptr, 8102 + 65536, {0x02, 0x00, 0x1F, 0xA6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},  // low 16 bits
      {nullptr, -1, {0x02, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"192.168.0.10", 8102, {0x02, 0x00, 0x1F, 0xA6, 192, 168, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"10.1", 1, {0x02, 0x00, 0x00, 0x01, 10, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},  // the short dotted forms
      {"localhost", 80, {0x02, 0x00, 0x00, 0x50, 127, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
      // The no-address value converts to "no address" and is then looked up, which yields it after all.
      {"255.255.255.255", 2, {0x02, 0x00, 0x00, 0x02, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SocketAddress address;
    std::memset(address.bytes, 0xCC, sizeof address.bytes);
    EXPECT_EQ(BuildAddress(address, c.host, c.port), 1) << (c.host ? c.host : "(none)");
    EXPECT_EQ(ToBytes(address), c.expected) << (c.host ? c.host : "(none)") << " " << c.port;
  }
}

TEST(BuildAddress, UnresolvableHostFailsWithOneLineAndLeavesTheAddress) {
  CapturedLog log;
  SocketAddress address;
  std::memset(address.bytes, 0xCC, sizeof address.bytes);
  const Bytes before = ToBytes(address);
  EXPECT_EQ(BuildAddress(address, "bad..name", 8102), -1);
  EXPECT_EQ(ToBytes(address), before);
  ASSERT_EQ(log.Total(), 1u);
  EXPECT_EQ(log.Count("skIO:ERROR gethostbyname ("), 1u);

  // Opening on such a host leaves the endpoint closed and writes nothing more.
  DatagramEndpoint endpoint;
  EXPECT_EQ(endpoint.Open("bad..name", FindFreeUdpPort()), -1);
  EXPECT_EQ(endpoint.handle, -1);
  EXPECT_EQ(log.Count("skIO:ERROR gethostbyname ("), 2u);
  EXPECT_EQ(log.Total(), 2u);
}

TEST(SplitWaitTime, TruncatesToSecondsAndMicroseconds) {
  struct Case {
    std::int32_t ms, seconds, microseconds;
  };
  for (const Case& c : {Case{100, 0, 100000}, Case{1500, 1, 500000}, Case{0, 0, 0}, Case{999, 0, 999000},
                        Case{1000, 1, 0}, Case{-1500, -1, -500000}}) {
    const WaitTimeLimit limit = SplitWaitTime(c.ms);
    EXPECT_EQ(limit.seconds, c.seconds) << c.ms;
    EXPECT_EQ(limit.microseconds, c.microseconds) << c.ms;
  }
}

TEST(SocketsStartup, CountsPairsAndNeverGoesBelowZero) {
  const std::int32_t base = SocketsStartCount();
  SocketsStartup();
  SocketsStartup();
  EXPECT_EQ(SocketsStartCount(), base + 2);
  SocketsCleanup();
  SocketsCleanup();
  EXPECT_EQ(SocketsStartCount(), base);
  if (base == 0) {
    SocketsCleanup();
    EXPECT_EQ(SocketsStartCount(), 0);
  }
}

TEST(DatagramEndpoint, OpenBindsACloseOnExecSocketAndASecondOpenOnThePortFails) {
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint first;
  ASSERT_EQ(first.Open(nullptr, port), 1);
  ASSERT_NE(first.handle, -1);
  EXPECT_NE(::fcntl(first.handle, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(first.receiveFlags, 0u);

  DatagramEndpoint second;
  int result = 0;
  const std::string err = CaptureStandardError([&] { result = second.Open(nullptr, port); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(second.handle, -1);
  EXPECT_EQ(err, "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n");

  // A specific local address conflicts with every local address on the same port.
  DatagramEndpoint third;
  CapturedLog log;
  EXPECT_EQ(third.Open("127.0.0.1", port), -1);
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n"});
}

TEST(DatagramEndpoint, ReportingOffKeepsResultsAndWritesNothing) {
  CapturedLog log;
  SocketErrorReporting.store(0);
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint first;
  DatagramEndpoint second;
  DatagramEndpoint closed;
  SocketAddress address;
  EXPECT_EQ(first.Open(nullptr, port), 1);
  EXPECT_EQ(second.Open(nullptr, port), -1);
  EXPECT_EQ(closed.Wait(WAIT_READ, 0), -1);
  EXPECT_EQ(BuildAddress(address, "bad..name", 1), -1);
  SocketErrorReporting.store(1);
  EXPECT_EQ(log.Total(), 0u);
}

TEST(DatagramEndpoint, WaitReportsTimeoutReadinessAndClosedEndpoint) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint endpoint;
  ASSERT_EQ(endpoint.Open(nullptr, port), 1);

  const auto start = Clock::now();
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 100), 0);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(90));
  EXPECT_LT(waited, std::chrono::seconds(5));

  // An idle UDP socket is always writable, never readable.
  EXPECT_EQ(endpoint.Wait(WAIT_READ | WAIT_WRITE, 100), WAIT_WRITE);

  ASSERT_NE(SendDatagram("127.0.0.1", port, "?k41"), 0);
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Wait(WAIT_READ | WAIT_WRITE, 5000), WAIT_READ | WAIT_WRITE);
  EXPECT_EQ(log.Total(), 0u);

  endpoint.Close();
  const auto closedStart = Clock::now();
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 10000), -1);
  EXPECT_LT(Clock::now() - closedStart, std::chrono::seconds(5));  // at once, not after the limit
  EXPECT_EQ(LastSocketError(), 10038);
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"skIO:ERROR select (WSAENOTSOCK/2736/10038)\r\n"});
}

TEST(DatagramEndpoint, WaitWorksForDescriptorsAboveTheSelectSetSize) {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 1500) {
    GTEST_SKIP() << "descriptor limit too low";
  }
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint endpoint;
  ASSERT_EQ(endpoint.Open(nullptr, port), 1);
  const int high = ::fcntl(endpoint.handle, F_DUPFD_CLOEXEC, 1400);
  ASSERT_GE(high, 1400);
  ::close(endpoint.handle);
  endpoint.handle = high;
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 10), 0);
  ASSERT_NE(SendDatagram("127.0.0.1", port, "x"), 0);
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
}

TEST(DatagramEndpoint, ReceiveTakesDatagramsWithTheirSenderAndDropsOversizedOnes) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint endpoint;
  ASSERT_EQ(endpoint.Open(nullptr, port), 1);
  char area[1024];
  SocketAddress source;

  // An empty datagram: count 0, and the sender's address is still filled in.
  std::memset(source.bytes, 0xCC, sizeof source.bytes);
  const std::int32_t senderPort = SendDatagram("127.0.0.1", port, "");
  ASSERT_NE(senderPort, 0);
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), 0);
  const Bytes expected = {0x02,
                          0x00,
                          static_cast<std::uint8_t>(senderPort >> 8),
                          static_cast<std::uint8_t>(senderPort & 0xFF),
                          127,
                          0,
                          0,
                          1,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0,
                          0};
  EXPECT_EQ(ToBytes(source), expected);

  // Exactly the area's size fits.
  const std::string full(1024, 'a');
  ASSERT_NE(SendDatagram("127.0.0.1", port, full), 0);
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), 1024);
  EXPECT_EQ(std::string(area, sizeof area), full);

  // One byte more is a failed receive; the datagram is consumed, so the next one comes through whole.
  std::memset(area, 'z', sizeof area);
  ASSERT_NE(SendDatagram("127.0.0.1", port, std::string(2000, 'b')), 0);
  ASSERT_NE(SendDatagram("127.0.0.1", port, "next"), 0);
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), -1);
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n"});
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, nullptr), 4);
  EXPECT_EQ(std::string(area, 4), "next");
  EXPECT_EQ(log.Total(), 1u);
}

TEST(DatagramEndpoint, CloseAndDestructionReleaseTheSocketOnce) {
  const std::int32_t port = FindFreeUdpPort();
  int fd = -1;
  {
    DatagramEndpoint endpoint;
    ASSERT_EQ(endpoint.Open(nullptr, port), 1);
    fd = endpoint.handle;
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // the destructor closed it
  EXPECT_TRUE(test::UdpPortIsFree(port));

  DatagramEndpoint endpoint;
  EXPECT_EQ(endpoint.Close(), 1);  // closed already: nothing to do
  ASSERT_EQ(endpoint.Open(nullptr, port), 1);
  // A descriptor that arrives after the close may reuse the number; a second Close must not touch it.
  EXPECT_EQ(endpoint.Close(), 1);
  const int other = ::dup(STDOUT_FILENO);
  EXPECT_EQ(endpoint.Close(), 1);
  EXPECT_NE(::fcntl(other, F_GETFD), -1);
  ::close(other);
  EXPECT_EQ(endpoint.handle, -1);

  // Reopening on another port after a close works, as a port change does.
  EXPECT_EQ(endpoint.Open(nullptr, FindFreeUdpPort()), 1);
  EXPECT_TRUE(test::UdpPortIsFree(port));
}

}  // namespace
}  // namespace srd
