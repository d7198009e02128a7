// The built program, run as a user would run it: no display, a runtime directory of its own.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/sys/signals.h"

#include "../support/udp_port.h"

namespace {

// Polls a condition every 10 ms for up to 20 s.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) {
      return true;
    }
    usleep(10000);
  }
  return condition();
}

// Waits for the child for up to 20 s; its exit code, or -1 if it did not end normally in time.
int WaitForExit(pid_t child) {
  int status = 0;
  if (!Eventually([&] { return waitpid(child, &status, WNOHANG) == child; })) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!srd::test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    char pattern[] = "/tmp/srd-run-XXXXXX";
    runtime_ = mkdtemp(pattern);
  }
  void TearDown() override {
    if (first_ > 0) {
      kill(first_, SIGKILL);
      waitpid(first_, nullptr, 0);
    }
    if (!runtime_.empty()) {
      std::filesystem::remove_all(runtime_);
    }
  }
  pid_t Start() {
    const pid_t child = fork();
    if (child == 0) {
      srd::UnblockStopSignals();
      setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      execl(SRD_PROGRAM, SRD_PROGRAM, static_cast<char*>(nullptr));
      _exit(127);
    }
    return child;
  }
  std::string runtime_;
  pid_t first_ = -1;
};

// Started without a display, the program receives real datagrams on UDP 8102; a second start ends with 0
// and leaves the first, and its port, alone; SIGTERM ends it with 0 and frees the port.
TEST_F(ProgramTest, RunsWithoutADisplayOnceAndEndsOnSigtermFreeingThePort) {
  first_ = Start();
  ASSERT_GT(first_, 0);
  ASSERT_TRUE(Eventually([] { return !srd::test::UdpPortIsFree(8102); })) << "never bound UDP 8102";

  // A real datagram on the port; the program logs nothing on success and keeps running.
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(8102);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const char text[] = "?k41u41";
  ASSERT_EQ(sendto(fd, text, sizeof text - 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(sizeof text - 1));
  close(fd);

  const pid_t second = Start();
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitForExit(second), 0);
  EXPECT_EQ(waitpid(first_, nullptr, WNOHANG), 0);  // still running
  EXPECT_FALSE(srd::test::UdpPortIsFree(8102));

  ASSERT_EQ(kill(first_, SIGTERM), 0);
  EXPECT_EQ(WaitForExit(first_), 0);
  first_ = -1;
  EXPECT_TRUE(srd::test::UdpPortIsFree(8102));
}

// Of two starts at the same moment exactly one ends on its own, with 0; the other runs until a stop signal.
TEST_F(ProgramTest, TwoStartsAtTheSameMomentNeverBothRun) {
  const pid_t a = Start();
  const pid_t b = Start();
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  int status = 0;
  pid_t ended = -1;
  ASSERT_TRUE(Eventually([&] {
    ended = waitpid(-1, &status, WNOHANG);
    return ended == a || ended == b;
  }));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  first_ = ended == a ? b : a;
  EXPECT_TRUE(Eventually([] { return !srd::test::UdpPortIsFree(8102); }));
  EXPECT_EQ(waitpid(first_, nullptr, WNOHANG), 0);
  ASSERT_EQ(kill(first_, SIGINT), 0);
  EXPECT_EQ(WaitForExit(first_), 0);
  first_ = -1;
  EXPECT_TRUE(srd::test::UdpPortIsFree(8102));
}

}  // namespace
