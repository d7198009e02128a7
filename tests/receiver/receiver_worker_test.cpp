#include "receiver/receiver_worker.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <string>
#include <vector>

#include "net/datagram_endpoint.h"
#include "net/net_test_support.h"
#include "platform/keys/recording_key_backend.h"

namespace srd {
namespace {

using test::CapturedLog;
using test::Clock;
using test::FindFreeUdpPort;
using test::PortHolder;
using test::SendDatagram;
using test::WaitUntil;

constexpr const char* kBindInUse = "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n";

RecordedKeyEvent Press(std::uint8_t vk) {
  return {vk, 0, 0, 11};
}
RecordedKeyEvent Release(std::uint8_t vk) {
  return {vk, 0, 2, 11};
}

// Records events; while held, the first event blocks the worker inside the key sink until Release().
class GatedKeyBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override {
    std::unique_lock lock(mutex_);
    events_.push_back({virtualKey, scanCode, flags, extraInfo});
    changed_.notify_all();
    changed_.wait(lock, [&] { return !held_; });
  }
  const char* Name() const override { return "gated"; }
  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  std::vector<RecordedKeyEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  std::vector<RecordedKeyEvent> events_;
};

class ReceiverWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallKeyBackend(&keys_); }
  void TearDown() override {
    gated_.Open();
    if (state_.worker) {
      state_.worker->Stop();
    }
    InstallKeyBackend(nullptr);
  }

  void StartOn(std::int32_t port) {
    state_.port.store(port);
    ASSERT_EQ(StartReceiver(state_), 1);
    ASSERT_TRUE(state_.worker);
    ASSERT_NE(state_.worker->ThreadHandle(), 0u);
  }

  // Sends a press of vk to ip:port again and again until the worker has injected it (the worker may not have
  // bound the port yet when the first one leaves). True when it arrived within the bound.
  bool Reaches(const char* ip, std::int32_t port, std::uint8_t vk) {
    char text[8];
    std::snprintf(text, sizeof text, "?k%02x", vk);
    return WaitUntil([&] {
      const std::size_t before = keys_.Count();
      SendDatagram(ip, port, text);
      return WaitUntil([&] { return keys_.Count() > before; }, std::chrono::milliseconds(50)) &&
             keys_.Events().back() == Press(vk);
    });
  }

  // The events of the test's own datagrams: probe keys (0x30-0x3F) may still trickle in from Reaches.
  std::vector<RecordedKeyEvent> Received() const {
    std::vector<RecordedKeyEvent> events = keys_.Events();
    std::erase_if(events,
                  [](const RecordedKeyEvent& e) { return e.virtualKey >= 0x30 && e.virtualKey <= 0x3F; });
    return events;
  }

  bool PortChangeServiced() {
    return WaitUntil([&] { return state_.worker->TestFlags(WORKER_PORT_CHANGE) == 0; });
  }

  RecordingKeyBackend keys_;
  GatedKeyBackend gated_;
  ReceiverState state_;
};

// The descriptor of this process's UDP socket bound to port, or -1.
int SocketBoundTo(std::int32_t port) {
  for (int fd = 3; fd < 4096; ++fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    int type = 0;
    socklen_t typeLength = sizeof type;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        address.sin_family == AF_INET && ntohs(address.sin_port) == port &&
        ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_DGRAM) {
      return fd;
    }
  }
  return -1;
}

std::vector<std::string> LocalIpv4Addresses() {
  std::vector<std::string> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return found;
  }
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      char text[INET_ADDRSTRLEN];
      ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, text,
                  sizeof text);
      found.emplace_back(text);
    }
  }
  ::freeifaddrs(list);
  return found;
}

TEST_F(ReceiverWorkerTest, DefaultStateReceivesOnTheDefaultPortOnEveryLocalAddress) {
  if (!test::UdpPortIsFree(DEFAULT_PORT)) {
    GTEST_SKIP() << "port 8102 is held by another program on this machine";
  }
  CapturedLog log;
  ASSERT_EQ(state_.port.load(), DEFAULT_PORT);
  ASSERT_EQ(StartReceiver(state_), 1);
  if (!Reaches("127.0.0.1", DEFAULT_PORT, 0x41)) {
    ASSERT_EQ(log.Count("skIO:ERROR bind"), 1u) << "not received although the port was bound";
    GTEST_SKIP() << "another program took port 8102 first";
  }
  std::uint8_t vk = 0x42;
  for (const std::string& address : LocalIpv4Addresses()) {
    EXPECT_TRUE(Reaches(address.c_str(), DEFAULT_PORT, vk)) << address;
    ++vk;
  }
  EXPECT_TRUE(Reaches("127.0.0.2", DEFAULT_PORT, vk));  // any loopback address is local
}

TEST_F(ReceiverWorkerTest, DatagramsKeepTheirOrder) {
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches("127.0.0.1", port, 0x30));
  SendDatagram("127.0.0.1", port, "?k41");
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  SendDatagram("127.0.0.1", port, "?u41");
  ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 2; }));
  EXPECT_EQ(Received(), (std::vector<RecordedKeyEvent>{Press(0x41), Release(0x41)}));
}

TEST_F(ReceiverWorkerTest, DroppedDatagramsInjectNothingAndNeverReplayThePreviousOne) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches("127.0.0.1", port, 0x30));
  SendDatagram("127.0.0.1", port, "?k41");
  ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 1; }));

  // Too long for the 1024-byte area: dropped whole, with its line. Then an empty one, then a marker.
  std::string oversized = "?k42";
  oversized.append(2000 - oversized.size(), ' ');
  SendDatagram("127.0.0.1", port, oversized);
  SendDatagram("127.0.0.1", port, "");
  SendDatagram("127.0.0.1", port, "?u41");
  ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 2 && log.Total() >= 1; }));
  EXPECT_EQ(Received(), (std::vector<RecordedKeyEvent>{Press(0x41), Release(0x41)}));
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n"});

  // The largest datagram that fits is decoded whole, up to its last command.
  keys_.Clear();
  std::string largest = "?";
  largest.append(1024 - 1 - 4, ' ');
  largest += "k43";
  largest.resize(1024, ' ');
  SendDatagram("127.0.0.1", port, largest);
  ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 1; }));
  EXPECT_EQ(Received(), std::vector<RecordedKeyEvent>{Press(0x43)});
}

TEST_F(ReceiverWorkerTest, PortChangeOnAnIdleLineMovesTheEndpoint) {
  const std::int32_t oldPort = FindFreeUdpPort();
  StartOn(oldPort);
  ASSERT_TRUE(Reaches("127.0.0.1", oldPort, 0x30));

  const std::int32_t newPort = FindFreeUdpPort();
  state_.port.store(newPort);
  state_.worker->SetFlags(WORKER_PORT_CHANGE);
  ASSERT_TRUE(PortChangeServiced());
  ASSERT_TRUE(Reaches("127.0.0.1", newPort, 0x31));

  // The old port is let go: a datagram there is not received, the one after it on the new port is.
  keys_.Clear();
  SendDatagram("127.0.0.1", oldPort, "?k43");
  SendDatagram("127.0.0.1", newPort, "?k44");
  ASSERT_TRUE(WaitUntil([&] { return Received().size() >= 1; }));
  EXPECT_EQ(Received(), std::vector<RecordedKeyEvent>{Press(0x44)});
  EXPECT_TRUE(test::UdpPortIsFree(oldPort));
}

TEST_F(ReceiverWorkerTest, PortChangeWaitsWhileDatagramsAreQueued) {
  GatedKeyBackend& gated = gated_;
  InstallKeyBackend(&gated);
  const std::int32_t oldPort = FindFreeUdpPort();
  StartOn(oldPort);

  // Hold the worker inside the key sink, ask for the change, and queue a datagram on the old port meanwhile:
  // the worker finds it ready and takes it before it moves.
  gated.Hold();
  ASSERT_TRUE(WaitUntil([&] {
    SendDatagram("127.0.0.1", oldPort, "?k41");
    return WaitUntil([&] { return !gated.Events().empty(); }, std::chrono::milliseconds(50));
  }));
  const std::int32_t newPort = FindFreeUdpPort();
  state_.port.store(newPort);
  state_.worker->SetFlags(WORKER_PORT_CHANGE);
  SendDatagram("127.0.0.1", oldPort, "?k42");
  // Loopback delivery may lag the send: open the gate only once the datagram sits in the worker's socket.
  const int workerSocket = SocketBoundTo(oldPort);
  ASSERT_NE(workerSocket, -1);
  ASSERT_TRUE(WaitUntil([&] {
    pollfd entry{workerSocket, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
  }));
  gated.Open();

  const auto seen = [&](std::uint8_t vk) {
    const auto events = gated.Events();
    return std::find(events.begin(), events.end(), Press(vk)) != events.end();
  };
  ASSERT_TRUE(WaitUntil([&] { return seen(0x42); }));
  ASSERT_TRUE(PortChangeServiced());
  // The flag clears just before the new port is bound: send until the datagram arrives.
  EXPECT_TRUE(WaitUntil([&] {
    SendDatagram("127.0.0.1", newPort, "?k43");
    return WaitUntil([&] { return seen(0x43); }, std::chrono::milliseconds(50));
  }));
}

TEST_F(ReceiverWorkerTest, StopOnAnIdleWorkerEndsItPromptly) {
  const std::int32_t starts = SocketsStartCount();
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches("127.0.0.1", port, 0x41));
  EXPECT_EQ(SocketsStartCount(), starts + 1);

  const auto start = Clock::now();
  EXPECT_EQ(state_.worker->Stop(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
  EXPECT_EQ(state_.worker->ThreadHandle(), 0u);
  EXPECT_EQ(SocketsStartCount(), starts);  // the loop released its start
  EXPECT_TRUE(test::UdpPortIsFree(port));  // and closed its endpoint
  EXPECT_EQ(state_.worker->Stop(), 0);     // a second stop has no thread to wait for
}

int RecordSignalMask(void* argument) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  auto* blocked = static_cast<std::vector<int>*>(argument);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    blocked->push_back(sigismember(&mask, signal));
  }
  return 7;
}

TEST(ReceiverWorker, ThreadBlocksTheHandledSignalsAndEndsDone) {
  // The starting thread's own mask is left as it was.
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  std::vector<int> blocked;
  ReceiverWorker worker;
  EXPECT_EQ(worker.Start(&RecordSignalMask, &blocked), 1);
  EXPECT_NE(worker.ThreadId(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return worker.TestFlags(WORKER_DONE) != 0; }));
  worker.Stop();
  EXPECT_EQ(blocked, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(worker.TestFlags(WORKER_STOP | WORKER_DONE), WORKER_STOP | WORKER_DONE);
  sigset_t after;
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGHUP), sigismember(&before, SIGHUP));

  EXPECT_EQ(worker.SetFlags(WORKER_PORT_CHANGE), WORKER_STOP | WORKER_DONE | WORKER_PORT_CHANGE);
  EXPECT_EQ(worker.ClearFlags(WORKER_PORT_CHANGE | WORKER_STOP), WORKER_DONE);
}

// Without a bound port the loop must idle calmly, keep retrying, and keep answering stop and port change.
TEST_F(ReceiverWorkerTest, PortInUseIdlesCalmlyAndRetriesUntilThePortIsFree) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  PortHolder holder(port);
  ASSERT_TRUE(holder.Bound());
  StartOn(port);

  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 1; }));
  EXPECT_EQ(log.Texts()[0], kBindInUse);
  // A second's worth of idle passes: no wait failures, at most one retry.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LE(log.Total(), 2u);
  EXPECT_EQ(log.Count("skIO:ERROR select"), 0u);

  // Retries come about every 2 s, one line each.
  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 3; }, std::chrono::seconds(20)));
  const auto lines = log.Snapshot();
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(lines[i].text, kBindInUse);
    EXPECT_GE(lines[i].at - lines[i - 1].at, std::chrono::milliseconds(1500));
  }

  // Once the port is free, the next retry binds it.
  holder.Release();
  EXPECT_TRUE(Reaches("127.0.0.1", port, 0x41));
  const std::size_t linesAfter = log.Total();
  EXPECT_LE(linesAfter, 5u);
  EXPECT_EQ(log.Count("skIO:ERROR select"), 0u);
}

TEST_F(ReceiverWorkerTest, PortChangeAndStopAreServicedWhileNoPortIsBound) {
  CapturedLog log;
  const std::int32_t busyPort = FindFreeUdpPort();
  PortHolder holder(busyPort);
  ASSERT_TRUE(holder.Bound());
  const std::int32_t firstPort = FindFreeUdpPort();
  StartOn(firstPort);
  ASSERT_TRUE(Reaches("127.0.0.1", firstPort, 0x41));

  // A change to a port in use fails its reopen with one line and leaves nothing bound.
  state_.port.store(busyPort);
  state_.worker->SetFlags(WORKER_PORT_CHANGE);
  ASSERT_TRUE(PortChangeServiced());
  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 1; }));
  EXPECT_EQ(log.Texts()[0], kBindInUse);
  EXPECT_TRUE(test::UdpPortIsFree(firstPort));

  // The user picks a free port: the change is serviced although nothing is bound.
  const std::int32_t freePort = FindFreeUdpPort();
  state_.port.store(freePort);
  state_.worker->SetFlags(WORKER_PORT_CHANGE);
  ASSERT_TRUE(PortChangeServiced());
  EXPECT_TRUE(Reaches("127.0.0.1", freePort, 0x42));
  EXPECT_EQ(log.Count("skIO:ERROR select"), 0u);

  // And back to the busy port, where a stop still ends the worker promptly.
  state_.port.store(busyPort);
  state_.worker->SetFlags(WORKER_PORT_CHANGE);
  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 2; }));
  const auto start = Clock::now();
  state_.worker->Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
  EXPECT_EQ(state_.worker->ThreadHandle(), 0u);
}

}  // namespace
}  // namespace srd
