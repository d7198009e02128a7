#include "net/datagram_endpoint.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "../support/captured_log.h"
#include "../support/loopback.h"
#include "net/socket_error.h"

namespace srd {
namespace {

using test::CapturedLog;
using test::FindFreeUdpPort;
using test::SendDatagram;
using Bytes = std::array<std::uint8_t, 16>;
using Lines = std::vector<std::string>;

Bytes ToBytes(const SocketAddress& address) {
  Bytes bytes;
  std::memcpy(bytes.data(), address.bytes, bytes.size());
  return bytes;
}

Bytes Layout(std::int32_t port, std::array<std::uint8_t, 4> ip) {
  return {0x02,  0x00, static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port), ip[0], ip[1],
          ip[2], ip[3]};
}

TEST(BuildAddress, WritesTheIpv4LayoutOrFailsWithOneLineLeavingTheAddress) {
  struct Case {
    const char* host;
    std::int32_t port;
    Bytes expected;
  };
  const Case cases[] = {
      {nullptr, 8102, Layout(8102, {0, 0, 0, 0})},
      {nullptr, 8102 + 65536, Layout(8102, {0, 0, 0, 0})},  // the low 16 bits
      {nullptr, -1, Layout(0xFFFF, {0, 0, 0, 0})},
      {"192.168.0.10", 8102, Layout(8102, {192, 168, 0, 10})},
      {"10.1", 1, Layout(1, {10, 0, 0, 1})},  // the short dotted forms
      {"localhost", 80, Layout(80, {127, 0, 0, 1})},
      // The no-address value converts to "no address" and is then looked up, which yields it after all.
      {"255.255.255.255", 2, Layout(2, {255, 255, 255, 255})},
  };
  for (const Case& c : cases) {
    SocketAddress address;
    std::memset(address.bytes, 0xCC, sizeof address.bytes);
    EXPECT_EQ(BuildAddress(address, c.host, c.port), 1) << (c.host ? c.host : "(none)");
    EXPECT_EQ(ToBytes(address), c.expected) << (c.host ? c.host : "(none)") << " " << c.port;
  }

  CapturedLog log;
  SocketAddress address;
  std::memset(address.bytes, 0xCC, sizeof address.bytes);
  const Bytes before = ToBytes(address);
  EXPECT_EQ(BuildAddress(address, "bad..name", 8102), -1);
  EXPECT_EQ(ToBytes(address), before);
  // Opening on such a host leaves the endpoint closed and writes only the look-up's line.
  DatagramEndpoint endpoint;
  EXPECT_EQ(endpoint.Open("bad..name", FindFreeUdpPort()), -1);
  EXPECT_EQ(endpoint.handle, -1);
  EXPECT_EQ(log.Total(), 2u);
  EXPECT_EQ(log.Count("skIO:ERROR gethostbyname ("), 2u);
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

TEST(DatagramEndpoint, PortInUseFailsWithItsLineUnlessReportingIsOff) {
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint first;
  ASSERT_EQ(first.Open(nullptr, port), 1);
  EXPECT_NE(::fcntl(first.handle, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(first.receiveFlags, 0u);

  CapturedLog log;
  // A specific local address conflicts with every local address on the same port too.
  for (const char* host : {static_cast<const char*>(nullptr), "127.0.0.1"}) {
    DatagramEndpoint second;
    EXPECT_EQ(second.Open(host, port), -1);
    EXPECT_EQ(second.handle, -1);
  }
  EXPECT_EQ(log.Texts(), Lines(2, "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n"));

  SocketErrorReporting.store(0);
  DatagramEndpoint second;
  DatagramEndpoint closed;
  SocketAddress address;
  EXPECT_EQ(second.Open(nullptr, port), -1);
  EXPECT_EQ(closed.Wait(WAIT_READ, 0), -1);
  EXPECT_EQ(BuildAddress(address, "bad..name", 1), -1);
  SocketErrorReporting.store(1);
  EXPECT_EQ(log.Total(), 2u);
}

TEST(DatagramEndpoint, WaitReportsTimeoutReadinessAndClosedEndpoint) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  DatagramEndpoint endpoint;
  ASSERT_EQ(endpoint.Open(nullptr, port), 1);
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 100), 0);
  // An idle UDP socket is always writable, never readable.
  EXPECT_EQ(endpoint.Wait(WAIT_READ | WAIT_WRITE, 100), WAIT_WRITE);
  ASSERT_TRUE(SendDatagram(port, "?k41"));
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Wait(WAIT_READ | WAIT_WRITE, 5000), WAIT_READ | WAIT_WRITE);
  EXPECT_EQ(log.Total(), 0u);

  endpoint.Close();
  const auto start = test::Clock::now();
  EXPECT_EQ(endpoint.Wait(WAIT_READ, 60000), -1);
  EXPECT_LT(test::Clock::now() - start, std::chrono::seconds(30));  // at once, not after the limit
  EXPECT_EQ(LastSocketError(), 10038);
  EXPECT_EQ(log.Texts(), Lines{"skIO:ERROR select (WSAENOTSOCK/2736/10038)\r\n"});
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
  ASSERT_TRUE(SendDatagram(port, "x"));
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
  test::UdpSocket sender;
  ASSERT_TRUE(sender.SendTo(port, ""));
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), 0);
  EXPECT_EQ(ToBytes(source), Layout(sender.LocalPort(), {127, 0, 0, 1}));

  // Exactly the area's size fits.
  const std::string full(1024, 'a');
  ASSERT_TRUE(SendDatagram(port, full));
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), 1024);
  EXPECT_EQ(std::string(area, sizeof area), full);

  // One byte more is a failed receive; the datagram is consumed, so the next one comes through whole.
  ASSERT_TRUE(SendDatagram(port, std::string(1025, 'b')));
  ASSERT_TRUE(SendDatagram(port, "next"));
  ASSERT_EQ(endpoint.Wait(WAIT_READ, 5000), WAIT_READ);
  EXPECT_EQ(endpoint.Receive(area, sizeof area, &source), -1);
  EXPECT_EQ(log.Texts(), Lines{"skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n"});
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
  EXPECT_EQ(endpoint.Close(), 1);
  // A descriptor that arrives after the close may reuse the number; a second Close must not touch it.
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
