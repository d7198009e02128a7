// Text through a link that drops a tenth of the datagrams: sealed and sent four times over, it arrives whole
// and in order; sent once, it does not.

#include "support/lossy_link.h"

#include <gtest/gtest.h>

#include "command_line.h"
#include "support/sample_text.h"

namespace srd {
namespace {

TEST(LossyLink, TwoThousandCharactersThroughATenPercentDropArriveWholeAndInOrder) {
  const std::string text = test::SampleText(2000);
  std::size_t dropped = 0;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const test::LossyLinkRun run = test::RunLossyLink(text, 0.10, seed, sender::kDefaultRepeat);
    ASSERT_TRUE(run.ran);
    EXPECT_EQ(run.characters, 2000u);
    EXPECT_EQ(run.copiesSent, run.datagrams * sender::kDefaultRepeat);
    EXPECT_EQ(run.charactersLost, 0u);
    EXPECT_FALSE(run.strayEvents);
    dropped += run.copiesDropped;
  }
  EXPECT_GT(dropped, 10u) << "the relay hardly dropped anything";
}

// The same link without the repeats loses whole characters, and never types one out of its place.
TEST(LossyLink, WithoutRepeatsWholeDatagramsAreLostButNothingIsOutOfOrder) {
  const std::string text = test::SampleText(2000);
  std::size_t lost = 0;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    const test::LossyLinkRun run = test::RunLossyLink(text, 0.10, seed, 1);
    ASSERT_TRUE(run.ran);
    lost += run.charactersLost;
    EXPECT_FALSE(run.strayEvents);
  }
  EXPECT_GT(lost, 0u);
}

}  // namespace
}  // namespace srd
