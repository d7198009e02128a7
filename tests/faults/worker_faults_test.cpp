// The receiver worker under faults, in-process so every key event can be seen: port changes while datagrams
// pour in, a taken port at a change, a stop in the middle of a flood, and random bytes followed by real
// commands. Real sockets on loopback, on ports of the test's own choosing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../support/stderr_capture.h"
#include "fault_support.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "receiver/key_commands.h"
#include "receiver/receiver_worker.h"

namespace srd::faults {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

RecordedKeyEvent Press(std::uint8_t key) {
  return {key, 0, KEYEVENT_PRESS, KEY_EVENT_TAG};
}
RecordedKeyEvent Release(std::uint8_t key) {
  return {key, 0, KEYEVENT_KEYUP, KEY_EVENT_TAG};
}

// Sends the same datagram to a port as fast as one thread can until stopped.
class Flood {
 public:
  Flood(std::uint16_t port, std::string text)
      : port_(port), text_(std::move(text)), thread_([this] { Run(); }) {}
  ~Flood() { Stop(); }
  Flood(const Flood&) = delete;
  Flood& operator=(const Flood&) = delete;
  void Stop() {
    running_ = false;
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  long Sent() const { return sent_.load(); }

 private:
  void Run() {
    UdpSocket sender;
    while (running_.load()) {
      sender.SendTo(port_, text_);
      sent_.fetch_add(1);
    }
  }
  std::uint16_t port_;
  std::string text_;
  std::atomic<bool> running_{true};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

class WorkerFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallKeyBackend(&keys_);
    state_.port = firstPort_;
  }
  void TearDown() override {
    if (state_.worker) {
      state_.worker->Stop();
    }
    InstallKeyBackend(nullptr);
  }
  void Start() {
    ASSERT_EQ(StartReceiver(state_), 1);
    ASSERT_TRUE(Reaches(firstPort_)) << "the worker never received on its first port";
  }
  // Sends a marker press, a key no earlier call used, until the worker injects it: proof that it receives on
  // `port`, and that everything queued there before the marker has been decoded. Forgets earlier events.
  bool Reaches(std::uint16_t port) {
    const std::uint8_t marker = nextMarker_++;
    keys_.Clear();
    UdpSocket sender;
    const std::string text = "?k" + Hex(marker);
    return WaitFor(
        [&] {
          sender.SendTo(port, text);
          return WaitFor(
              [&] {
                const std::vector<RecordedKeyEvent> events = keys_.Events();
                return std::find(events.begin(), events.end(), Press(marker)) != events.end();
              },
              milliseconds(50));
        },
        seconds(20));
  }
  void ChangePort(std::uint16_t port) {
    state_.port = port;  // as the settings dialog does: the number first, then the flag
    state_.worker->SetFlags(WORKER_PORT_CHANGE);
  }
  bool PortChangeServiced() {
    return WaitFor([&] { return state_.worker->TestFlags(WORKER_PORT_CHANGE) == 0; }, seconds(20));
  }
  static std::string Hex(std::uint8_t value) {
    const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 15]};
  }

  RecordingKeyBackend keys_;
  ReceiverState state_;
  const std::uint16_t firstPort_ = FreeUdpPort();
  std::uint8_t nextMarker_ = 0x30;  // key codes from here up, one per Reaches
};

// A change asked for while datagrams pour in, whether to the old port (which keeps the line busy) or to the
// new one (on which nothing listens yet): once the line has been quiet, the worker is on the new port and the
// old one is free.
TEST_F(WorkerFaults, PortChangeWhileFloodingEndsOnTheNewPort) {
  for (const bool floodOldPort : {true, false}) {
    SCOPED_TRACE(floodOldPort ? "flooding the old port" : "flooding the new port");
    if (!state_.worker) {
      Start();
    }
    const std::uint16_t oldPort = static_cast<std::uint16_t>(state_.port.load());
    const std::uint16_t newPort = FreeUdpPort();
    {
      Flood flood(floodOldPort ? oldPort : newPort, "?k41u41");
      ASSERT_TRUE(WaitFor([&] { return flood.Sent() > 2000; }, seconds(10)));
      ChangePort(newPort);
      const long sentAtChange = flood.Sent();
      ASSERT_TRUE(WaitFor([&] { return flood.Sent() > sentAtChange + 5000; }, seconds(10)));
    }
    ASSERT_TRUE(PortChangeServiced());
    EXPECT_TRUE(Reaches(newPort));
    UdpSocket other;
    EXPECT_TRUE(other.Bind(oldPort)) << "the old port is still held";
  }
}

TEST_F(WorkerFaults, PortInUseAtAPortChangeIsRetriedUntilFreed) {
  Start();
  const std::uint16_t takenPort = FreeUdpPort();
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(takenPort));
  test::StderrCapture capture;
  ChangePort(takenPort);
  ASSERT_TRUE(PortChangeServiced());
  EXPECT_TRUE(WaitFor(
      [&] {
        return capture.Text().find("skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n") != std::string::npos;
      },
      seconds(20)));
  holder.Close();
  EXPECT_TRUE(Reaches(takenPort)) << "the port was freed but never taken";
  // Still in control: a stop ends it.
  state_.worker->Stop();
  EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
}

TEST_F(WorkerFaults, StopWhileFloodingEndsTheThread) {
  Start();
  Flood flood(firstPort_, "?K041U041k0dk10u10u0d");
  ASSERT_TRUE(WaitFor([&] { return flood.Sent() > 5000; }, seconds(10)));
  auto stopped = std::async(std::launch::async, [&] { return state_.worker->Stop(); });
  ASSERT_EQ(stopped.wait_for(seconds(30)), std::future_status::ready) << "Stop did not return under a flood";
  EXPECT_EQ(stopped.get(), 0);
  EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
  EXPECT_EQ(state_.worker->ThreadHandle(), 0u);
  flood.Stop();
  UdpSocket other;
  EXPECT_TRUE(other.Bind(firstPort_)) << "the endpoint was not closed";
}

TEST_F(WorkerFaults, RandomDatagramsThenCommandsDecodeExactly) {
  Start();
  test::StderrCapture oversizedLines;  // one "recvfrom" line per datagram over 1024 bytes
  UdpSocket sender;
  RandomDatagrams random(7);
  for (int i = 0; i < 100000; ++i) {
    const std::string bytes = random.Next();
    sender.SendTo(firstPort_, bytes.data(), bytes.size());
    if (i % 200 == 199) {
      std::this_thread::yield();  // let the worker keep up; a dropped datagram tests nothing
    }
  }
  ASSERT_TRUE(Reaches(firstPort_)) << "the worker stopped receiving";
  keys_.Clear();
  ASSERT_TRUE(sender.SendTo(firstPort_, "?K041U041"));
  ASSERT_TRUE(sender.SendTo(firstPort_, "?k0dk10u10u0d"));
  // Late copies of the marker (it is resent until seen) are the only other events allowed.
  auto commandEvents = [&] {
    std::vector<RecordedKeyEvent> events = keys_.Events();
    std::erase_if(events, [&](const RecordedKeyEvent& e) {
      return e.virtualKey >= 0x30 && e.virtualKey < nextMarker_;
    });
    return events;
  };
  ASSERT_TRUE(WaitFor([&] { return commandEvents().size() >= 6; }, seconds(20)));
  // Nothing replayed from earlier datagrams, nothing lost, nothing out of order.
  EXPECT_EQ(commandEvents(), (std::vector<RecordedKeyEvent>{Press(0x41), Release(0x41), Press(0x0D),
                                                            Press(0x10), Release(0x10), Release(0x0D)}));
}

}  // namespace
}  // namespace srd::faults
