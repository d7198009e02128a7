// The receiver worker's life: its port, changes of port, stop, signals, a port held by another program.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>

#include <string>
#include <vector>

#include "platform/keys/key_pause.h"
#include "receiver_worker_fixture.h"

namespace srd {
namespace {

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
  if (!Reaches(DEFAULT_PORT)) {
    ASSERT_EQ(log.Count("skIO:ERROR bind"), 1u) << "not received although the port was bound";
    GTEST_SKIP() << "another program took port 8102 first";
  }
  for (const std::string& address : LocalIpv4Addresses()) {
    EXPECT_TRUE(Reaches(DEFAULT_PORT, address.c_str())) << address;
  }
  EXPECT_TRUE(Reaches(DEFAULT_PORT, "127.0.0.2"));  // any loopback address is local
}

TEST_F(ReceiverWorkerTest, DatagramsKeepTheirOrderAndDroppedOnesNeverReplay) {
  CapturedLog log;
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches(port));
  SendDatagram(port, "?k41");
  std::this_thread::sleep_for(milliseconds(10));
  SendDatagram(port, "?u41");
  ASSERT_TRUE(WaitUntil([&] { return keys_.Received().size() >= 2; }));
  EXPECT_EQ(keys_.Received(), (Events{Press(0x41), Release(0x41)}));

  // Too long for the 1024-byte area: dropped whole, with its line. An empty one injects nothing. Neither
  // replays the datagram before them.
  std::string oversized = "?k42";
  oversized.resize(1025, ' ');
  SendDatagram(port, oversized);
  SendDatagram(port, "");
  // The largest datagram that fits is decoded whole, up to its last command.
  std::string largest = "?";
  largest.resize(1024 - 3, ' ');
  largest += "k43";
  SendDatagram(port, largest);
  ASSERT_TRUE(WaitUntil([&] { return keys_.Received().size() >= 3 && log.Total() >= 1; }));
  EXPECT_EQ(keys_.Received(), (Events{Press(0x41), Release(0x41), Press(0x43)}));
  EXPECT_EQ(log.Texts(), std::vector<std::string>{"skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n"});
}

TEST_F(ReceiverWorkerTest, PortChangeAndStopOnAnIdleLineAreServicedPromptly) {
  const std::int32_t starts = SocketsStartCount();
  const std::int32_t oldPort = FindFreeUdpPort();
  StartOn(oldPort);
  ASSERT_TRUE(Reaches(oldPort));
  EXPECT_EQ(SocketsStartCount(), starts + 1);
  const std::int32_t newPort = FindFreeUdpPort();
  ChangePort(newPort);
  ASSERT_TRUE(PortChangeServiced());
  ASSERT_TRUE(Reaches(newPort));

  // The old port is let go: a datagram there is not received, the one after it on the new port is.
  SendDatagram(oldPort, "?k43");
  SendDatagram(newPort, "?k44");
  ASSERT_TRUE(WaitUntil([&] { return !keys_.Received().empty(); }));
  EXPECT_EQ(keys_.Received(), Events{Press(0x44)});
  EXPECT_TRUE(test::UdpPortIsFree(oldPort));

  ExpectStopsPromptly();
  EXPECT_EQ(SocketsStartCount(), starts);     // the loop released its start
  EXPECT_TRUE(test::UdpPortIsFree(newPort));  // and closed its endpoint
  EXPECT_EQ(state_.worker->Stop(), 0);        // a second stop has no thread to wait for
}

// Records each event after the pause a paced key sink makes between events.
class PacedKeyBackend final : public KeyBackend {
 public:
  explicit PacedKeyBackend(milliseconds pace) : pace_(pace) {}
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) override {
    PauseBetweenKeyEvents(pace_);
    recorded_.Inject(virtualKey, scanCode, flags, extraInfo);
  }
  const char* Name() const override { return "paced"; }
  std::size_t Count() const { return recorded_.Count(); }

 private:
  milliseconds pace_;
  RecordingKeyBackend recorded_;
};

TEST_F(ReceiverWorkerTest, StopDuringALongPacedDatagramIsSeenWithinAPassAndTheDatagramEndsWhole) {
  // 340 events 20 ms apart would hold the worker for almost 7 s; the stop must not wait for them.
  PacedKeyBackend paced(milliseconds(20));
  InstallKeyBackend(&paced);
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  std::string full = "?";
  while (full.size() + 6 <= 1024) {
    full += "k41u41";
  }
  const std::size_t events = (full.size() - 1) / 3;
  ASSERT_TRUE(WaitUntil([&] {
    SendDatagram(port, full.c_str());
    return WaitUntil([&] { return paced.Count() > 0; }, milliseconds(200));
  }));
  ExpectStopsPromptly();
  // The datagram being typed is finished, not cut: no press is left without its release.
  EXPECT_EQ(paced.Count() % events, 0u);
  EXPECT_GE(paced.Count(), events);
  InstallKeyBackend(&keys_);
}

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

TEST_F(ReceiverWorkerTest, PortChangeWaitsWhileDatagramsAreQueued) {
  const std::int32_t oldPort = FindFreeUdpPort();
  StartOn(oldPort);
  // Hold the worker inside the key sink, ask for the change, and queue a datagram on the old port meanwhile:
  // the worker finds it ready and takes it before it moves.
  keys_.Hold(true);
  ASSERT_TRUE(WaitUntil([&] {
    SendDatagram(oldPort, "?k41");
    return WaitUntil([&] { return !keys_.All().empty(); }, milliseconds(50));
  }));
  const std::int32_t newPort = FindFreeUdpPort();
  ChangePort(newPort);
  SendDatagram(oldPort, "?k42");
  // Loopback delivery may lag the send: open the gate only once the datagram sits in the worker's socket.
  const int workerSocket = SocketBoundTo(oldPort);
  ASSERT_NE(workerSocket, -1);
  ASSERT_TRUE(WaitUntil([&] {
    pollfd entry{workerSocket, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
  }));
  keys_.Hold(false);
  ASSERT_TRUE(WaitUntil([&] { return keys_.Seen(Press(0x42)); }));
  ASSERT_TRUE(PortChangeServiced());
  EXPECT_TRUE(Reaches(newPort));
}

int RecordSignalMask(void* argument) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    static_cast<std::vector<int>*>(argument)->push_back(sigismember(&mask, signal));
  }
  return 7;
}

TEST(ReceiverWorker, ThreadBlocksTheHandledSignalsAndEndsDone) {
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, nullptr, &before);
  std::vector<int> blocked;
  ReceiverWorker worker;
  EXPECT_EQ(worker.Start(&RecordSignalMask, &blocked), 1);
  ASSERT_TRUE(WaitUntil([&] { return worker.TestFlags(WORKER_DONE) != 0; }));
  worker.Stop();
  EXPECT_EQ(blocked, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(worker.TestFlags(WORKER_STOP | WORKER_DONE), WORKER_STOP | WORKER_DONE);
  // The starting thread's own mask is left as it was.
  sigset_t after;
  pthread_sigmask(SIG_BLOCK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGHUP), sigismember(&before, SIGHUP));
  EXPECT_EQ(worker.SetFlags(WORKER_PORT_CHANGE), WORKER_STOP | WORKER_DONE | WORKER_PORT_CHANGE);
  EXPECT_EQ(worker.ClearFlags(WORKER_PORT_CHANGE | WORKER_STOP), WORKER_DONE);
}

// Without a bound port (the port is in use) the loop must idle calmly, retry at a calm pace, and keep
// answering port change and stop. That a retry binds the port once it is free is seen at the process level.
TEST_F(ReceiverWorkerTest, PortInUseIdlesCalmlyRetriesAndServicesPortChangeAndStop) {
  CapturedLog log;
  const std::int32_t busyPort = FindFreeUdpPort();
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(busyPort));
  const std::int32_t firstPort = FindFreeUdpPort();
  StartOn(firstPort);
  ASSERT_TRUE(Reaches(firstPort));

  // A change to a port in use fails its reopen with one line and leaves nothing bound.
  ChangePort(busyPort);
  ASSERT_TRUE(PortChangeServiced());
  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 1; }));
  EXPECT_TRUE(test::UdpPortIsFree(firstPort));
  // A second's worth of idle passes: no wait failures, at most one retry.
  std::this_thread::sleep_for(seconds(1));
  EXPECT_LE(log.Total(), 2u);
  // Retries come about every 2 s, one line each.
  ASSERT_TRUE(WaitUntil([&] { return log.Total() >= 3; }, seconds(20)));
  const auto lines = log.Snapshot();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].text, kBindInUse);
    EXPECT_TRUE(i == 0 || lines[i].at - lines[i - 1].at >= milliseconds(1500)) << i;
  }

  // The user picks a free port: the change is serviced although nothing is bound.
  const std::int32_t freePort = FindFreeUdpPort();
  ChangePort(freePort);
  ASSERT_TRUE(PortChangeServiced());
  EXPECT_TRUE(Reaches(freePort));
  EXPECT_EQ(log.Count("skIO:ERROR select"), 0u);

  // And back to the busy port, where a stop still ends the worker promptly.
  const std::size_t before = log.Total();
  ChangePort(busyPort);
  ASSERT_TRUE(WaitUntil([&] { return log.Total() > before; }));
  ExpectStopsPromptly();
}

// A change asked for while datagrams pour in, whether to the old port (which keeps the line busy) or to the

}  // namespace
}  // namespace srd
