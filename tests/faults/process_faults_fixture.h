#pragma once

// The program as a process under faults: a fixture that waits for port 8102, starts the program, feeds it
// datagrams and stops it the way a user would.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "../support/key_observer.h"
#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/xvfb_server.h"
#include "platform/x11/device_repeat.h"

namespace srd::test {

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

  // The program keying into `server` through XTest, its window on Qt's offscreen platform out of the way.
  static ProgramOptions OnDisplay(const XvfbServer& server, std::string runtimeDir = {}) {
    return ProgramOptions{SRD_PROGRAM_PATH,
                          {{"DISPLAY", server.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}},
                          std::move(runtimeDir)};
  }
  static bool Bound(ProgramProcess& program) { return program.WaitBound(kPort, seconds(20)); }
  // Types the A key and sees its press and release arrive at the X server (after the events before them).
  bool TypesAKey(KeyObserver& observer) {
    observer.KeysDown();  // a round trip: every event before it has reached the observer
    observer.TakeFor(milliseconds(100));
    sender_.SendTo(kPort, "?k41u41");
    const std::vector<KeyEvent> events = observer.Take(2);
    return events.size() == 2 && events[0].second && !events[1].second;
  }
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

// The same with a private X server that the program's XTest sink keys into, and an observer of its keys.
class XTestProcessFaults : public ProcessFaults {
 protected:
  void SetUp() override {
    ProcessFaults::SetUp();
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "Xvfb is not installed";
    }
    ASSERT_TRUE(server_.Start());
    observer_ = std::make_unique<KeyObserver>(server_.DisplayName());
    ASSERT_TRUE(observer_->Ready());
  }
  // Whether the XTest device, which every XTest client of the display shares, auto-repeats held keys.
  bool RepeatOn() const {
    return XDeviceRepeat::RepeatEnabled(observer_->Connection(), XDeviceRepeat::kXTestKeyboard);
  }

  XvfbServer server_;
  std::unique_ptr<KeyObserver> observer_;
};

inline std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

}  // namespace srd::test
