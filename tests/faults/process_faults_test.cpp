// The program as a user meets it, under faults: real process, real sockets on port 8102, real signals.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "../platform/keys/xvfb_server.h"
#include "fault_support.h"

namespace srd::faults {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr std::uint16_t kPort = 8102;
constexpr const char* kBindInUseLine = "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n";

// Another program on this machine may hold the port for a while; every test starts once it is free.
void AwaitPortFree() {
  ASSERT_TRUE(WaitFor([] { return !UdpPortBound(kPort); }, seconds(60)))
      << "UDP port 8102 is held by another process";
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

// Sends a batch, then waits for the program to empty its socket queue: proof that it is still receiving.
// False when the queue did not drain within the limit (a hang, or a receiver that stopped reading).
bool SendAndDrain(ProgramProcess& program, const UdpSocket& sender, RandomDatagrams* random, int count,
                  const std::string& fixed = "?k41u41") {
  for (int i = 0; i < count; ++i) {
    if (random != nullptr) {
      const std::string bytes = random->Next();
      sender.SendTo(kPort, bytes.data(), bytes.size());
    } else {
      sender.SendTo(kPort, fixed);
    }
  }
  return WaitFor([&] { return program.RxQueueBytes(kPort) == 0; }, seconds(20)) && program.OwnsUdpPort(kPort);
}

// Stops with SIGTERM and expects a clean end that gives the port back.
void ExpectCleanStop(ProgramProcess& program) {
  program.Signal(SIGTERM);
  const int code = program.WaitExit(seconds(20));
  const std::string errors = program.Stderr();
  EXPECT_EQ(code, 0) << "standard error ends with:\n"
                     << errors.substr(errors.size() > 4000 ? errors.size() - 4000 : 0);
  EXPECT_TRUE(WaitFor([] { return !UdpPortBound(kPort); }, seconds(5)));
}

TEST(ProcessFaults, PortInUseAtStartIsRetriedUntilFreed) {
  AwaitPortFree();
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(kPort));
  ProgramProcess program;
  ASSERT_TRUE(program.Started());

  ASSERT_TRUE(WaitFor([&] { return Count(program.Stderr(), kBindInUseLine) >= 1; }, seconds(20)));
  const auto first = Clock::now();
  ASSERT_TRUE(WaitFor([&] { return Count(program.Stderr(), kBindInUseLine) >= 2; }, seconds(20)))
      << "the bind is not tried again";
  // A retry, not a spin: tries are paced (about every 2 s), which a slow machine only stretches.
  EXPECT_GE(Clock::now() - first, milliseconds(500));
  EXPECT_TRUE(program.Running());

  holder.Close();
  ASSERT_TRUE(WaitFor([&] { return program.OwnsUdpPort(kPort); }, seconds(20)))
      << "the port was freed but never taken";
  UdpSocket sender;
  EXPECT_TRUE(SendAndDrain(program, sender, nullptr, 100));
  ExpectCleanStop(program);
}

TEST(ProcessFaults, SigtermDuringFloodEndsPromptlyWithExitZero) {
  AwaitPortFree();
  ProgramProcess program;
  ASSERT_TRUE(WaitFor([&] { return program.OwnsUdpPort(kPort); }, seconds(20)));

  std::atomic<bool> flooding{true};
  std::atomic<long> sent{0};
  std::thread flood([&] {
    UdpSocket sender;
    while (flooding.load()) {
      sender.SendTo(kPort, "?k41u41k42u42");
      sent.fetch_add(1);
    }
  });
  WaitFor([&] { return sent.load() > 20000; }, seconds(10));
  program.Signal(SIGTERM);
  const int code = program.WaitExit(seconds(20));
  flooding = false;
  flood.join();
  EXPECT_EQ(code, 0) << "the program did not end, or ended badly, under a flood";
  EXPECT_TRUE(WaitFor([] { return !UdpPortBound(kPort); }, seconds(5)));
}

TEST(ProcessFaults, HundredThousandRandomDatagramsLeaveItRunningBoundedAndStoppable) {
  AwaitPortFree();
  ProgramProcess program;
  ASSERT_TRUE(WaitFor([&] { return program.OwnsUdpPort(kPort); }, seconds(20)));
  UdpSocket sender;
  RandomDatagrams random(20240611);
  // Warm up first, so the comparison is against a program that has met every kind of datagram.
  ASSERT_TRUE(SendAndDrain(program, sender, &random, 1000));
  const long residentBefore = program.ResidentKb();

  constexpr int kTotal = 100000;
  constexpr int kBatch = 100;  // well within the socket's queue, so nearly all of them are read
  for (int done = 0; done < kTotal; done += kBatch) {
    ASSERT_TRUE(SendAndDrain(program, sender, &random, kBatch)) << "stopped reading after " << done;
    ASSERT_TRUE(program.Running()) << "ended after " << done << " random datagrams";
  }
  // No allocation per datagram: a generous allowance for page-ins and allocator caches only.
  EXPECT_LE(program.ResidentKb(), residentBefore + 8 * 1024);
  EXPECT_TRUE(SendAndDrain(program, sender, nullptr, 100, "?K041U041"));
  ExpectCleanStop(program);
}

TEST(ProcessFaults, XServerGoingAwayUnderTheXTestSinkLeavesItReceiving) {
  AwaitPortFree();
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  // Keys go to the X server; the window stays off any display, so only the key sink depends on the server.
  ProgramProcess program({{"DISPLAY", server.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(WaitFor([&] { return program.OwnsUdpPort(kPort); }, seconds(20)));
  UdpSocket sender;
  ASSERT_TRUE(SendAndDrain(program, sender, nullptr, 200));
  // Hold a key down, then take the server away: the release at exit meets no server.
  ASSERT_TRUE(SendAndDrain(program, sender, nullptr, 1, "?k10"));
  ASSERT_EQ(program.Stderr().find("no keys can be injected"), std::string::npos) << program.Stderr();

  server.Stop();
  for (int batch = 0; batch < 20; ++batch) {
    ASSERT_TRUE(SendAndDrain(program, sender, nullptr, 100)) << "stopped reading after the server went";
  }
  EXPECT_TRUE(program.Running());
  ExpectCleanStop(program);
}

}  // namespace
}  // namespace srd::faults
