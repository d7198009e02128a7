#pragma once

// The receiver worker on real loopback sockets: a fixture that starts it on a port, probes what reaches it
// and changes its port, and a key backend that can hold the worker inside the key sink.

#include "receiver/receiver_worker.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "../support/captured_log.h"
#include "../support/loopback.h"
#include "net/datagram_endpoint.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "receiver/key_commands.h"

namespace srd {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::CapturedLog;
using test::Clock;
using test::FindFreeUdpPort;
using test::Flood;
using test::SendDatagram;
using test::UdpSocket;
using test::WaitUntil;
using Events = std::vector<RecordedKeyEvent>;

constexpr const char* kBindInUse = "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n";
constexpr std::uint8_t kFirstProbe = 0xC0;  // keys from here up prove arrival; the tests' own keys lie below

inline RecordedKeyEvent Press(std::uint8_t vk) {
  return {vk, 0, KEYEVENT_PRESS, KEY_EVENT_TAG};
}
inline RecordedKeyEvent Release(std::uint8_t vk) {
  return {vk, 0, KEYEVENT_KEYUP, KEY_EVENT_TAG};
}

// Records events; while held, each event blocks the worker inside the key sink until Open().
class GatedKeyBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override {
    std::unique_lock lock(mutex_);
    events_.push_back({virtualKey, scanCode, flags, extraInfo});
    changed_.wait(lock, [&] { return !held_; });
  }
  const char* Name() const override { return "gated"; }
  void Hold(bool held) {
    {
      std::lock_guard lock(mutex_);
      held_ = held;
    }
    changed_.notify_all();
  }
  Events All() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  bool Seen(RecordedKeyEvent event) const {
    const Events events = All();
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  // The events of the tests' own datagrams: probes may still trickle in.
  Events Received() const {
    Events events = All();
    std::erase_if(events, [](const RecordedKeyEvent& e) { return e.virtualKey >= kFirstProbe; });
    return events;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  Events events_;
};

class ReceiverWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallKeyBackend(&keys_); }
  void TearDown() override {
    keys_.Hold(false);
    if (state_.worker) {
      state_.worker->Stop();
    }
    InstallKeyBackend(nullptr);
  }

  void StartOn(std::int32_t port) {
    state_.port.store(port);
    ASSERT_EQ(StartReceiver(state_), 1);
    ASSERT_NE(state_.worker->ThreadHandle(), 0u);
  }
  // Sends a press of a probe key no earlier call used to ip:port until the worker injects it: proof that it
  // receives there (it may not have bound the port yet) and has decoded everything queued before.
  bool Reaches(std::int32_t port, const char* ip = "127.0.0.1") {
    const std::uint8_t probe = nextProbe_++;
    char text[8];
    std::snprintf(text, sizeof text, "?k%02x", probe);
    UdpSocket sender;
    return WaitUntil(
        [&] {
          sender.SendTo(port, text, ip);
          return WaitUntil([&] { return keys_.Seen(Press(probe)); }, milliseconds(50));
        },
        seconds(20));
  }
  void ChangePort(std::int32_t port) {
    state_.port.store(port);  // as the settings dialog does: the number first, then the flag
    state_.worker->SetFlags(WORKER_PORT_CHANGE);
  }
  bool PortChangeServiced() {
    return WaitUntil([&] { return state_.worker->TestFlags(WORKER_PORT_CHANGE) == 0; }, seconds(20));
  }
  void ExpectStopsPromptly() {
    const auto start = Clock::now();
    EXPECT_EQ(state_.worker->Stop(), 0);
    EXPECT_LT(Clock::now() - start, seconds(2));
    EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
    EXPECT_EQ(state_.worker->ThreadHandle(), 0u);
  }

  GatedKeyBackend keys_;
  ReceiverState state_;
  std::uint8_t nextProbe_ = kFirstProbe;
};

}  // namespace srd
