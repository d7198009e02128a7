// Each sender's order: a datagram is typed once and never after a later one, also after a restart, whatever
// the number of senders.

#include "seal/sender_order.h"

#include <gtest/gtest.h>

namespace srd::seal {
namespace {

using Clock = SenderOrder::Clock;
using std::chrono::milliseconds;

const Clock::time_point kNow = Clock::now();

SealedPlace Place(std::uint64_t sender, std::uint64_t number, std::uint64_t start = 1000) {
  return SealedPlace{sender, start, number};
}

TEST(SenderOrder, TypesEachNumberOnceInOrderAndSaysWhereDatagramsWereLost) {
  SenderOrder order;
  EXPECT_EQ(order.Admit(Place(7, 1), kNow), Admission::kNext);
  EXPECT_EQ(order.Admit(Place(7, 1), kNow + milliseconds(2)), Admission::kRepeat);
  EXPECT_EQ(order.Admit(Place(7, 2), kNow), Admission::kNext);
  EXPECT_EQ(order.Admit(Place(7, 5), kNow), Admission::kAfterGap);
  // 3 and 4 come too late: typing them now would put them after 5.
  EXPECT_EQ(order.Admit(Place(7, 3), kNow), Admission::kRepeat);
  EXPECT_EQ(order.Admit(Place(7, 6), kNow), Admission::kNext);
  // Long after the sender's last new datagram, a copy is a replay.
  EXPECT_EQ(order.Admit(Place(7, 6), kNow + SENDER_REPEAT_WINDOW + milliseconds(1)), Admission::kReplay);
  // A sender whose first datagrams were lost.
  EXPECT_EQ(order.Admit(Place(8, 3), kNow), Admission::kAfterGap);
}

TEST(SenderOrder, SendersSharingTheKeyKeepOrdersOfTheirOwn) {
  SenderOrder order;
  for (std::uint64_t number = 1; number <= 3; ++number) {
    for (std::uint64_t sender = 1; sender <= 50; ++sender) {
      EXPECT_EQ(order.Admit(Place(sender, number), kNow), Admission::kNext);
    }
  }
  // The same identity restarted (another start time) is another sender.
  EXPECT_EQ(order.Admit(Place(1, 1, 2000), kNow), Admission::kNext);
  EXPECT_EQ(order.Size(), 51u);
}

// The stored record refuses, after a restart, every datagram typed before it: with the reserve after an
// unannounced end, exactly after an orderly stop.
TEST(SenderOrder, TheStoredRecordRefusesAfterARestartWhatWasTypedBefore) {
  SenderOrder before;
  EXPECT_EQ(before.Admit(Place(7, 1), kNow), Admission::kNext);
  EXPECT_TRUE(before.NeedsStoring());
  const std::string reserved = before.Text(true);
  EXPECT_FALSE(before.NeedsStoring());
  for (std::uint64_t number = 2; number <= 10; ++number) {
    before.Admit(Place(7, number), kNow);
  }
  EXPECT_FALSE(before.NeedsStoring());  // still within the reserve: no store per datagram

  SenderOrder crashed;
  ASSERT_TRUE(crashed.Parse(reserved));
  EXPECT_EQ(crashed.Admit(Place(7, 10), kNow), Admission::kReplay);
  EXPECT_EQ(crashed.Admit(Place(7, 1 + SENDER_ORDER_RESERVE), kNow), Admission::kReplay);
  EXPECT_EQ(crashed.Admit(Place(7, 2 + SENDER_ORDER_RESERVE), kNow), Admission::kNext);

  SenderOrder stopped;
  ASSERT_TRUE(stopped.Parse(before.Text(false)));
  EXPECT_EQ(stopped.Admit(Place(7, 10), kNow), Admission::kReplay);
  EXPECT_EQ(stopped.Admit(Place(7, 11), kNow), Admission::kNext);
  EXPECT_EQ(stopped.Admit(Place(8, 1), kNow), Admission::kNext);

  SenderOrder broken;
  EXPECT_FALSE(broken.Parse("something else\n"));
  EXPECT_FALSE(broken.Parse(before.Text(false) + "zz 1 2\n"));
  EXPECT_EQ(broken.Size(), 0u);
}

// Past its capacity the table drops the sender that started first, and a sender it no longer knows that
// started no later is refused: a bounded record never reopens a door.
TEST(SenderOrder, ABoundedTableRefusesTheSendersItHadToForget) {
  SenderOrder order;
  for (std::uint64_t i = 0; i < SENDER_ORDER_CAPACITY; ++i) {
    ASSERT_EQ(order.Admit(Place(i + 1, 1, 1000 + i), kNow), Admission::kNext);
  }
  EXPECT_EQ(order.Admit(Place(99999, 1, 5000), kNow), Admission::kNext);
  EXPECT_EQ(order.Size(), SENDER_ORDER_CAPACITY);
  EXPECT_EQ(order.Admit(Place(1, 1, 1000), kNow), Admission::kReplay);  // the dropped one, replayed
  EXPECT_EQ(order.Admit(Place(2, 2, 1001), kNow), Admission::kNext);    // still known
  EXPECT_EQ(order.Admit(Place(123456, 1, 6000), kNow), Admission::kNext);

  const std::string text = order.Text(false);
  EXPECT_LT(text.size(), SENDER_ORDER_FILE_BYTES);
  SenderOrder restarted;
  ASSERT_TRUE(restarted.Parse(text));
  EXPECT_EQ(restarted.Admit(Place(1, 1, 1000), kNow), Admission::kReplay);
}

}  // namespace
}  // namespace srd::seal
