// The built program, run as a user would run it: no display, a runtime directory of its own.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"

namespace {

using namespace std::chrono_literals;
using srd::test::ProgramOptions;
using srd::test::ProgramProcess;
using srd::test::UdpPortIsFree;
using srd::test::WaitUntil;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_FALSE(runtime_.Path().empty());
  }
  // Every start of a test shares one runtime directory, as two starts by one user would.
  std::unique_ptr<ProgramProcess> Start() {
    return std::make_unique<ProgramProcess>(ProgramOptions{SRD_PROGRAM, {}, runtime_.Path()});
  }
  srd::test::ScopedTempDir runtime_{"srd-run"};
};

// Started without a display, the program receives real datagrams on UDP 8102; a second start ends with 0
// and leaves the first, and its port, alone; SIGTERM ends it with 0 and frees the port.
TEST_F(ProgramTest, RunsWithoutADisplayOnceAndEndsOnSigtermFreeingThePort) {
  auto first = Start();
  ASSERT_TRUE(first->Started());
  ASSERT_TRUE(WaitUntil([] { return !UdpPortIsFree(8102); }, 20s)) << "never bound UDP 8102";

  // A real datagram on the port; the program logs nothing on success and keeps running.
  srd::test::UdpSocket sender;
  ASSERT_TRUE(sender.SendTo(8102, "?k41u41"));

  auto second = Start();
  ASSERT_TRUE(second->Started());
  EXPECT_EQ(second->WaitExit(20s), 0);
  EXPECT_TRUE(first->Running());
  EXPECT_FALSE(UdpPortIsFree(8102));

  first->Signal(SIGTERM);
  EXPECT_EQ(first->WaitExit(20s), 0);
  EXPECT_TRUE(UdpPortIsFree(8102));
}

// Of two starts at the same moment exactly one ends on its own, with 0; the other runs until a stop signal.
TEST_F(ProgramTest, TwoStartsAtTheSameMomentNeverBothRun) {
  auto a = Start();
  auto b = Start();
  ASSERT_TRUE(a->Started());
  ASSERT_TRUE(b->Started());
  ASSERT_TRUE(WaitUntil([&] { return !a->Running() || !b->Running(); }, 20s));
  ProgramProcess& ended = a->Running() ? *b : *a;
  ProgramProcess& running = a->Running() ? *a : *b;
  EXPECT_EQ(ended.WaitExit(20s), 0);
  EXPECT_TRUE(WaitUntil([] { return !UdpPortIsFree(8102); }, 20s));
  EXPECT_TRUE(running.Running());
  running.Signal(SIGINT);
  EXPECT_EQ(running.WaitExit(20s), 0);
  EXPECT_TRUE(UdpPortIsFree(8102));
}

}  // namespace
