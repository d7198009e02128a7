#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "datagram_batch.h"
#include "send_pacer.h"
#include "text_encoding.h"

namespace srd::sender {
namespace {

using namespace std::chrono_literals;

// The keys a datagram leaves held down: pressed and not released within it.
std::vector<std::string> KeysLeftDown(const std::string& datagram) {
  std::vector<std::string> down;
  for (std::size_t i = 1; i + 3 <= datagram.size(); i += 3) {
    const std::string key = datagram.substr(i + 1, 2);
    if (datagram[i] == 'k') {
      down.push_back(key);
    } else {
      std::erase(down, key);
    }
  }
  return down;
}

TEST(DatagramBatch, JoinsWholeStrokesInOrderUpToTheSizeLimit) {
  // Capitals and shifted symbols make strokes of two lengths, so batches end on different boundaries.
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += "Hello, World! (a\tb)\n";
  }
  const std::vector<std::string> strokes = EncodeText(text).datagrams;
  ASSERT_EQ(strokes.size(), text.size());
  for (const std::size_t limit : {std::size_t{13}, std::size_t{40}, kMaxDatagramBytes}) {
    SCOPED_TRACE(limit);
    const std::vector<Batch> batches = BatchStrokes(strokes, limit);
    std::string joined;
    std::string expected;
    std::size_t stroke = 0;
    for (const Batch& batch : batches) {
      ASSERT_EQ(batch.datagram.front(), '?');
      EXPECT_LE(batch.datagram.size(), limit);
      EXPECT_TRUE(KeysLeftDown(batch.datagram).empty()) << batch.datagram;
      EXPECT_EQ(batch.events, (batch.datagram.size() - 1) / 3);
      // Each batch is whole strokes, and holds as many as fit: the next would not have.
      std::string own = "?";
      while (stroke < strokes.size() && own.size() + strokes[stroke].size() - 1 <= limit) {
        own += strokes[stroke++].substr(1);
      }
      EXPECT_EQ(batch.datagram, own);
      joined += batch.datagram.substr(1);
    }
    EXPECT_EQ(stroke, strokes.size());
    for (const std::string& s : strokes) {
      expected += s.substr(1);
    }
    EXPECT_EQ(joined, expected);
  }
  EXPECT_TRUE(BatchStrokes({}).empty());
}

TEST(SendPacer, SendsAQueueFullAtOnceThenAtTheModelsPace) {
  const ReceiverModel model{10us, 40us, 3};
  SendPacer pacer(model);
  const SendPacer::Clock::time_point start{};
  // Three datagrams of 100 events go at once; each takes the model 1040 µs.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pacer.NextSendTime(start), start);
    pacer.Sent(start, 100);
  }
  // The fourth waits until the first is injected, the fifth until the second.
  EXPECT_EQ(pacer.NextSendTime(start), start + 1040us);
  pacer.Sent(start + 1040us, 100);
  EXPECT_EQ(pacer.NextSendTime(start + 1100us), start + 2080us);
  // A sender later than the pacer asked does not earn a burst: the model's receiver is still busy.
  pacer.Sent(start + 2500us, 100);
  EXPECT_EQ(pacer.NextSendTime(start + 2500us), start + 3120us);
  // After a pause long enough for the model to empty its queue, a queue full goes at once again.
  const auto later = start + 1s;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pacer.NextSendTime(later), later);
    pacer.Sent(later, 10);
  }
  EXPECT_EQ(pacer.NextSendTime(later), later + 140us);
}

TEST(SendPacer, LongTextGoesAtThePaceOfTheModel) {
  // However many datagrams, the pacer never lets the model's queue hold more than it allows.
  const ReceiverModel model{20us, 50us, 30};
  SendPacer pacer(model);
  auto now = SendPacer::Clock::time_point{};
  const auto start = now;
  for (int i = 0; i < 1000; ++i) {
    now = pacer.NextSendTime(now);
    pacer.Sent(now, 340);
  }
  const auto perDatagram = model.perDatagram + 340 * model.perEvent;
  EXPECT_EQ(now - start, (1000 - 30) * perDatagram);
}

}  // namespace
}  // namespace srd::sender
