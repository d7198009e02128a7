// The receiver worker under floods and random datagrams: port changes and stop still serviced, commands
// after garbage decoded exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "receiver_worker_fixture.h"

namespace srd {
namespace {
// new one (on which nothing listens yet): once the line has been quiet, the worker is on the new port and the
// old one is free.
TEST_F(ReceiverWorkerTest, PortChangeWhileFloodingEndsOnTheNewPort) {
  StartOn(FindFreeUdpPort());
  for (const bool floodOldPort : {true, false}) {
    SCOPED_TRACE(floodOldPort ? "flooding the old port" : "flooding the new port");
    const std::int32_t oldPort = state_.port.load();
    ASSERT_TRUE(Reaches(oldPort));
    const std::int32_t newPort = FindFreeUdpPort();
    {
      Flood flood(floodOldPort ? oldPort : newPort, "?k41u41");
      ASSERT_TRUE(flood.Sends(2000));
      ChangePort(newPort);
      ASSERT_TRUE(flood.Sends(5000));
    }
    ASSERT_TRUE(PortChangeServiced());
    EXPECT_TRUE(Reaches(newPort));
    EXPECT_TRUE(test::UdpPortIsFree(oldPort)) << "the old port is still held";
  }
}

// A sender that never pauses must not pin the port: the move happens while its stream still arrives.
TEST_F(ReceiverWorkerTest, PortChangeIsServicedWhileTheOldPortKeepsReceiving) {
  const std::int32_t oldPort = FindFreeUdpPort();
  StartOn(oldPort);
  ASSERT_TRUE(Reaches(oldPort));
  Flood flood(oldPort, "?k41u41");
  ASSERT_TRUE(flood.Sends(2000));
  const std::int32_t newPort = FindFreeUdpPort();
  ChangePort(newPort);
  ASSERT_TRUE(PortChangeServiced()) << "the stream on the old port held the change up";
  EXPECT_TRUE(Reaches(newPort));
  EXPECT_TRUE(test::UdpPortIsFree(oldPort)) << "the old port is still held";
  EXPECT_TRUE(flood.Sends(1000)) << "the stream had stopped: the change proves nothing";
}

TEST_F(ReceiverWorkerTest, StopWhileFloodingEndsTheThread) {
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches(port));
  Flood flood(port, "?K041U041k0dk10u10u0d");
  ASSERT_TRUE(flood.Sends(5000));
  auto stopped = std::async(std::launch::async, [&] { return state_.worker->Stop(); });
  ASSERT_EQ(stopped.wait_for(seconds(30)), std::future_status::ready) << "Stop did not return under a flood";
  EXPECT_EQ(stopped.get(), 0);
  EXPECT_NE(state_.worker->TestFlags(WORKER_DONE), 0u);
  flood.Stop();
  EXPECT_TRUE(test::UdpPortIsFree(port)) << "the endpoint was not closed";
}

TEST_F(ReceiverWorkerTest, RandomDatagramsThenCommandsDecodeExactly) {
  CapturedLog log;  // one "recvfrom" line per datagram over 1024 bytes, kept off standard error
  const std::int32_t port = FindFreeUdpPort();
  StartOn(port);
  ASSERT_TRUE(Reaches(port));
  UdpSocket sender;
  std::mt19937 random(7);
  for (int i = 0; i < 100000; ++i) {
    sender.SendTo(port, test::RandomDatagram(random));
    if (i % 200 == 199) {
      std::this_thread::yield();  // let the worker keep up; a dropped datagram tests nothing
    }
  }
  // One probe press could come from a random datagram too; this run of four marks the end of them.
  const Events barrier{Press(0xE0), Press(0xE1), Press(0xE2), Press(0xE3)};
  const auto barrierSeen = [&] {
    const Events events = keys_.All();
    return std::search(events.begin(), events.end(), barrier.begin(), barrier.end()) != events.end();
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        sender.SendTo(port, "?ke0ke1ke2ke3");
        return WaitUntil(barrierSeen, milliseconds(50));
      },
      seconds(20)))
      << "the worker stopped receiving";
  keys_.Clear();
  ASSERT_TRUE(sender.SendTo(port, "?K041U041"));
  ASSERT_TRUE(sender.SendTo(port, "?k0dk10u10u0d"));
  ASSERT_TRUE(WaitUntil([&] { return keys_.Received().size() >= 6; }, seconds(20)));
  // Nothing replayed from earlier datagrams, nothing lost, nothing out of order.
  EXPECT_EQ(keys_.Received(),
            (Events{Press(0x41), Release(0x41), Press(0x0D), Press(0x10), Release(0x10), Release(0x0D)}));
}

}  // namespace
}  // namespace srd
