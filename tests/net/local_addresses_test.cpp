#include "net/local_addresses.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/port_refusal.h"

namespace srd {
namespace {

constexpr std::uint32_t Ip(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

TEST(OrderSenderAddressesTest, LinkLocalThenPrivateThenTheRestWithoutLoopbackOrRepeats) {
  const std::vector<std::uint32_t> given = {
      Ip(127, 0, 0, 1),   Ip(203, 0, 113, 7), Ip(192, 168, 1, 5), Ip(172, 31, 255, 1), Ip(172, 32, 0, 1),
      Ip(169, 254, 2, 1), Ip(10, 0, 0, 2),    Ip(127, 1, 2, 3),   Ip(192, 168, 1, 5),  0,
      Ip(169, 253, 0, 1),
  };
  const std::vector<std::uint32_t> expected = {
      Ip(169, 254, 2, 1), Ip(192, 168, 1, 5), Ip(172, 31, 255, 1), Ip(10, 0, 0, 2),
      Ip(203, 0, 113, 7), Ip(172, 32, 0, 1),  Ip(169, 253, 0, 1),
  };
  EXPECT_EQ(OrderSenderAddresses(given), expected);
}

TEST(LocalSenderAddressesTest, NoLoopbackAndOnlyDottedAddresses) {
  for (const std::string& address : LocalSenderAddresses()) {
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
  }
}

// Adds an address to the loopback interface of a network namespace of its own, so the machine's own
// interfaces are never touched.
int AddressAppearsInAFreshNamespace() {
  if (unshare(CLONE_NEWNET) != 0) {
    return 77;  // no namespaces here
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
    return 10;
  }
  request.ifr_flags |= IFF_UP;
  if (ioctl(fd, SIOCSIFFLAGS, &request) != 0) {
    return 11;
  }
  AddressWatch watch;
  if (!watch.Watching()) {
    return 12;
  }
  if (!LocalSenderAddresses().empty()) {
    return 13;  // only loopback so far
  }
  ifreq alias{};
  std::strcpy(alias.ifr_name, "lo:7");
  auto* address = reinterpret_cast<sockaddr_in*>(&alias.ifr_addr);
  address->sin_family = AF_INET;
  inet_pton(AF_INET, "10.11.12.13", &address->sin_addr);
  if (ioctl(fd, SIOCSIFADDR, &alias) != 0) {
    return 14;
  }
  bool heard = false;
  for (int i = 0; i < 200 && !heard; ++i) {
    heard = watch.Changed();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!heard) {
    return 15;
  }
  if (LocalSenderAddresses() != std::vector<std::string>{"10.11.12.13"}) {
    return 16;
  }
  return watch.Changed() ? 17 : 0;  // everything was taken
}

TEST(AddressWatchTest, HearsAnAddressAddedAndTheListShowsIt) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "a network namespace of the test's own needs root";
  }
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    _exit(AddressAppearsInAFreshNamespace());
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "no network namespaces here";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PortRefusalTest, TheReasonsInWords) {
  EXPECT_STREQ(PortRefusalReason(ClassifyPortRefusal(10048, 8102)), "in use by another program");
  EXPECT_STREQ(PortRefusalReason(ClassifyPortRefusal(10013, 80)), "needs root below 1024");
  EXPECT_STREQ(PortRefusalReason(ClassifyPortRefusal(10013, 8102)), "not permitted");
  EXPECT_STREQ(PortRefusalReason(ClassifyPortRefusal(10107, 8102)), "refused by the system");
  // The quiet try binds nothing for good and says what a held port says.
  const int holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  socklen_t size = sizeof any;
  ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&any), &size), 0);
  const std::int32_t port = ntohs(any.sin_port);
  EXPECT_EQ(TryPortBind(port), 10048);
  close(holder);
  EXPECT_EQ(TryPortBind(port), 0);
  EXPECT_EQ(TryPortBind(port), 0);
}

}  // namespace
}  // namespace srd
