// The program as a user meets it, under faults: real process, real sockets on port 8102, real signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "../support/key_observer.h"
#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/xvfb_server.h"
#include "platform/x11/device_repeat.h"

namespace srd::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr std::uint16_t kPort = 8102;
constexpr std::string_view kBindInUseLine = "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n";

class ProcessFaults : public ::testing::Test {
 protected:
  // Another program on this machine may hold the port for a while; every test starts once it is free.
  void SetUp() override {
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }, seconds(60)))
        << "UDP port 8102 is held by another process";
  }

  static bool Bound(ProgramProcess& program) { return program.WaitBound(kPort, seconds(20)); }
  // Sends a batch (random datagrams when `random` is given), then waits for the program to empty its socket
  // queue: proof that it is still receiving. False on a hang or a receiver that stopped reading.
  bool SendAndDrain(ProgramProcess& program, int count, std::mt19937* random = nullptr,
                    std::string_view fixed = "?k41u41") {
    for (int i = 0; i < count; ++i) {
      sender_.SendTo(kPort, random != nullptr ? RandomDatagram(*random) : std::string(fixed));
    }
    return WaitUntil([&] { return program.QueuedBytes(kPort) == 0u; }, seconds(20));
  }
  // Stops with SIGTERM and expects a clean end that gives the port back.
  static void ExpectCleanStop(ProgramProcess& program) {
    program.Signal(SIGTERM);
    const int code = program.WaitExit(seconds(20));
    const std::string errors = program.Stderr();
    EXPECT_EQ(code, 0) << "standard error ends with:\n"
                       << errors.substr(errors.size() > 4000 ? errors.size() - 4000 : 0);
    EXPECT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  }

  UdpSocket sender_;
};

std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

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
  ProgramProcess program(ProgramOptions{
      SRD_PROGRAM_PATH, {{"DISPLAY", server.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}}});
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

// The repeat of the XTest device is shared with every other XTest client of the display: whichever way the
// program is stopped, it is back on afterwards, and a held key never repeated meanwhile.
TEST_F(ProcessFaults, EveryStopSignalPutsBackTheXTestRepeat) {
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  KeyObserver observer(server.DisplayName());
  ASSERT_TRUE(observer.Ready());
  const auto repeatOn = [&] {
    return XDeviceRepeat::RepeatEnabled(observer.Connection(), XDeviceRepeat::kXTestKeyboard);
  };
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    ASSERT_TRUE(repeatOn());
    ProgramProcess program(ProgramOptions{
        SRD_PROGRAM_PATH, {{"DISPLAY", server.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}}});
    ASSERT_TRUE(Bound(program));
    ASSERT_TRUE(WaitUntil([&] { return !repeatOn(); }, seconds(20)));
    ASSERT_TRUE(SendAndDrain(program, 1, nullptr, "?k41"));  // held when the signal comes
    program.Signal(signal);
    EXPECT_EQ(program.WaitExit(seconds(20)), 0) << program.Stderr();
    EXPECT_TRUE(repeatOn());
    EXPECT_TRUE(observer.KeysDown().empty());
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }));
  }
}

}  // namespace
}  // namespace srd::test
