// Standard input is typed piece by piece as it is read: the same datagrams as the whole text would give, a
// line's as soon as it is complete, and a refusal with its place in the whole input.
#include "text_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace srd::sender {
namespace {

// Feeds `text` in chunks of random sizes (1 to maxChunk bytes) and collects what comes out.
EncodedText FeedInChunks(std::string_view text, std::size_t maxChunk, unsigned seed) {
  std::mt19937 random(seed);
  TextStream stream(nullptr);
  EncodedText all;
  while (true) {
    const bool end = text.empty();
    const std::size_t size = std::min<std::size_t>(text.size(), 1 + random() % maxChunk);
    EncodedText piece = end ? stream.Finish() : stream.Feed(text.substr(0, size));
    text.remove_prefix(size);
    all.datagrams.insert(all.datagrams.end(), piece.datagrams.begin(), piece.datagrams.end());
    if (piece.refusal) {
      all.refusal = piece.refusal;
      return all;
    }
    if (end) {
      return all;
    }
  }
}

TEST(TextStream, AnyCuttingOfTheInputTypesWhatTheWholeTextTypes) {
  std::string text = "Hello, World!\r\nA second line\twith a tab\r\n\n";
  text += std::string(2 * kMaxTextPiece + 5, 'x') + "\r\n";  // one line longer than a piece, cut into several
  for (int i = 0; i < static_cast<int>(kMaxTextPiece) + 100; ++i) {
    text += (i % 7 == 0) ? "\r\n" : "y";
  }
  text += "no line end at the end";
  const std::vector<std::string> whole = EncodeText(text).datagrams;
  ASSERT_FALSE(whole.empty());
  for (const std::size_t maxChunk : {std::size_t{1}, std::size_t{3}, std::size_t{1000}, 4 * kMaxTextPiece}) {
    SCOPED_TRACE(maxChunk);
    const EncodedText streamed = FeedInChunks(text, maxChunk, static_cast<unsigned>(maxChunk));
    EXPECT_FALSE(streamed.refusal);
    EXPECT_EQ(streamed.datagrams, whole);
  }
}

TEST(TextStream, ALineIsTypedOnceCompleteAndARefusalStopsAtItsPlaceInTheWholeInput) {
  TextStream stream(nullptr);
  EXPECT_TRUE(stream.Feed("ab").datagrams.empty());
  EXPECT_EQ(stream.Feed("c\nd").datagrams, EncodeText("abc\n").datagrams);
  EXPECT_EQ(stream.Feed("\n").datagrams, EncodeText("d\n").datagrams);
  // The line with the snowman is refused whole: nothing of it is typed.
  const EncodedText refused = stream.Feed("ok \xE2\x98\x83 no\nnever\n");
  EXPECT_TRUE(refused.datagrams.empty());
  ASSERT_TRUE(refused.refusal);
  EXPECT_EQ(refused.refusal->codePoint, U'\u2603');
  EXPECT_EQ(refused.refusal->line, 3u);
  EXPECT_EQ(refused.refusal->column, 4u);
  EXPECT_EQ(refused.refusal->index, 10u);
}

TEST(TextStream, APieceOfALongLineIsCutBetweenCharactersAndARefusalThereKeepsItsPlace) {
  // A line of two-byte characters: no cut may fall inside one; the bad byte comes in a later piece.
  std::string text = "first\n";
  for (std::size_t i = 0; i < kMaxTextPiece; ++i) {
    text += "\xC3\xA9";  // é, which a US keyboard has no key for: here every piece would be refused
  }
  const EncodedText refused = FeedInChunks(text, 777, 1);
  ASSERT_TRUE(refused.refusal);
  EXPECT_FALSE(refused.refusal->invalidUtf8) << "a piece was cut inside a character";
  EXPECT_EQ(refused.refusal->line, 2u);
  EXPECT_EQ(refused.refusal->column, 1u);
  EXPECT_EQ(refused.datagrams, EncodeText("first\n").datagrams);

  std::string invalid = "first\n" + std::string(2 * kMaxTextPiece, 'z') + "\xFF" + "z\n";
  const EncodedText broken = FeedInChunks(invalid, 5000, 2);
  ASSERT_TRUE(broken.refusal);
  EXPECT_TRUE(broken.refusal->invalidUtf8);
  EXPECT_EQ(broken.refusal->line, 2u);
  EXPECT_EQ(broken.refusal->column, 2 * kMaxTextPiece + 1);
  // The pieces of the long line before the bad byte went already; the rest of it does not.
  EXPECT_GT(broken.datagrams.size(), 1u);
  EXPECT_LE(broken.datagrams.size(), 1 + 6 + 2 * kMaxTextPiece);
}

}  // namespace
}  // namespace srd::sender
