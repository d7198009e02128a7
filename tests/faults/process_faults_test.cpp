// The program as a user meets it, under faults: real process, real sockets on port 8102, real signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../support/scoped_temp_dir.h"
#include "process_faults_fixture.h"

namespace srd::test {
namespace {

TEST_F(ProcessFaults, PortInUseAtStartIsRetriedUntilFreed) {
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(kPort));
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(WaitUntil([&] { return Count(program.Stderr(), kBindInUseLine) >= 1; }, seconds(20)));
  const auto first = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return Count(program.Stderr(), kBindInUseLine) >= 2; }, seconds(20)))
      << "the bind is not tried again";
  // A retry, not a spin: tries are paced (about every 2 s), which a slow machine only stretches.
  EXPECT_GE(Clock::now() - first, milliseconds(500));
  EXPECT_TRUE(program.Running());

  holder.Close();
  ASSERT_TRUE(Bound(program)) << "the port was freed but never taken";
  EXPECT_TRUE(SendAndDrain(program, 100));
  ExpectCleanStop(program);
}

TEST_F(ProcessFaults, SigtermDuringFloodEndsPromptlyWithExitZero) {
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(Bound(program));
  Flood flood(kPort, "?k41u41k42u42");
  ASSERT_TRUE(flood.Sends(20000));
  program.Signal(SIGTERM);
  const int code = program.WaitExit(seconds(20));
  flood.Stop();
  EXPECT_EQ(code, 0) << "the program did not end, or ended badly, under a flood";
  EXPECT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
}

TEST_F(ProcessFaults, HundredThousandRandomDatagramsLeaveItRunningBoundedAndStoppable) {
  ProgramProcess program(ProgramOptions{SRD_PROGRAM_PATH});
  ASSERT_TRUE(Bound(program));
  std::mt19937 random(20240611);
  // Warm up first, so the comparison is against a program that has met every kind of datagram.
  ASSERT_TRUE(SendAndDrain(program, 1000, &random));
  const long residentBefore = program.ResidentKb();
  constexpr int kBatch = 100;  // well within the socket's queue, so nearly all of them are read
  for (int done = 0; done < 100000; done += kBatch) {
    ASSERT_TRUE(SendAndDrain(program, kBatch, &random)) << "stopped reading after " << done;
    ASSERT_TRUE(program.Running()) << "ended after " << done << " random datagrams";
  }
  // No allocation per datagram: a generous allowance for page-ins and allocator caches only.
  EXPECT_LE(program.ResidentKb(), residentBefore + 8 * 1024);
  EXPECT_TRUE(SendAndDrain(program, 100, nullptr, "?K041U041"));
  ExpectCleanStop(program);
}

TEST_F(ProcessFaults, XServerGoingAwayUnderTheXTestSinkLeavesItReceiving) {
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  // Keys go to the X server; the window stays off any display, so only the key sink depends on the server.
  ProgramProcess program(OnDisplay(server));
  ASSERT_TRUE(Bound(program));
  ASSERT_TRUE(SendAndDrain(program, 200));
  // Hold a key down, then take the server away: the release at exit meets no server.
  ASSERT_TRUE(SendAndDrain(program, 1, nullptr, "?k10"));
  ASSERT_EQ(program.Stderr().find("no keys can be injected"), std::string::npos) << program.Stderr();
  server.Stop();
  for (int batch = 0; batch < 20; ++batch) {
    ASSERT_TRUE(SendAndDrain(program, 100)) << "stopped reading after the server went";
  }
  EXPECT_TRUE(program.Running());
  ExpectCleanStop(program);
}

// The repeat of the XTest device is shared with every other XTest client of the display: whichever signal
// ends the program, it goes through the shutdown, so the held key is let go and the repeat is back on; a
// held key never repeated meanwhile. SIGPIPE, which a write to a log reader that went away raises, ends
// nothing.
TEST_F(XTestProcessFaults, EveryEndingSignalLetsTheKeysGoAndPutsBackTheRepeat) {
  KeyObserver& observer = *observer_;
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGRTMIN + 2}) {
    SCOPED_TRACE(strsignal(signal));
    ASSERT_TRUE(RepeatOn());
    ProgramProcess program(OnDisplay(server_));
    ASSERT_TRUE(Bound(program));
    ASSERT_TRUE(WaitUntil([&] { return !RepeatOn(); }, seconds(20)));
    program.Signal(SIGPIPE);
    ASSERT_TRUE(SendAndDrain(program, 1, nullptr, "?k10k41"));  // Shift and A held when the signal comes
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 2; })) << "SIGPIPE ended it";
    program.Signal(signal);
    EXPECT_EQ(program.WaitExit(seconds(20)), 0) << program.Stderr();
    EXPECT_TRUE(RepeatOn());
    EXPECT_TRUE(observer.KeysDown().empty());
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  }
}

// SIGKILL leaves no chance to clean up: the next start finds what the killed one recorded and puts the X
// server right before it changes anything itself, so that its own shutdown puts the repeat back on too.
TEST_F(XTestProcessFaults, TheStartAfterAKillLetsGoOfItsKeysAndPutsBackTheRepeat) {
  KeyObserver& observer = *observer_;
  ScopedTempDir runtime("srd-run");
  {
    ProgramProcess killed(OnDisplay(server_, runtime.Path()));
    ASSERT_TRUE(Bound(killed));
    ASSERT_TRUE(SendAndDrain(killed, 1, nullptr, "?k10k41"));
    ASSERT_TRUE(WaitUntil([&] { return observer.KeysDown().size() == 2; }));
    killed.Signal(SIGKILL);
    ASSERT_EQ(killed.WaitExit(seconds(20)), 128 + SIGKILL);
  }
  ASSERT_FALSE(RepeatOn());  // as the kill left the server
  ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  ProgramProcess next(OnDisplay(server_, runtime.Path()));
  ASSERT_TRUE(Bound(next));
  EXPECT_TRUE(observer.KeysDown().empty()) << "the killed instance's keys are still held";
  EXPECT_TRUE(TypesAKey(observer));
  ExpectCleanStop(next);
  EXPECT_TRUE(RepeatOn()) << "the repeat the killed instance turned off stays off";
}

}  // namespace
}  // namespace srd::test
