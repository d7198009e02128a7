#include "terminal_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace srd::sender {
namespace {

TerminalKey Key(std::uint8_t vk, bool shift = false, bool control = false, bool alt = false) {
  return TerminalKey{TerminalKey::Kind::kStroke, KeyStroke{vk, shift, control, alt}, 0};
}

TerminalKey Untypeable(char32_t c) {
  return TerminalKey{TerminalKey::Kind::kUntypeable, {}, c};
}

std::vector<TerminalKey> ReadAll(const std::string& bytes) {
  TerminalKeyReader reader;
  std::vector<TerminalKey> keys = reader.Feed(bytes);
  const std::vector<TerminalKey> rest = reader.Flush();
  keys.insert(keys.end(), rest.begin(), rest.end());
  EXPECT_FALSE(reader.HasPending());
  return keys;
}

TEST(TerminalKeys, ReadsWhatTerminalsSendForEachKey) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<TerminalKey> keys;
  };
  const Case cases[] = {
      {"printable", "aZ1?", {Key(0x41), Key(0x5A, true), Key(0x31), Key(0xBF, true)}},
      {"enter (CR and LF)", "\r\n", {Key(0x0D), Key(0x0D)}},
      {"tab", "\t", {Key(0x09)}},
      {"backspace (DEL and ^H)", "\x7F\x08", {Key(0x08), Key(0x08)}},
      {"ctrl+letters",
       std::string("\x01\x03\x1A", 3),
       {Key('A', false, true), Key('C', false, true), Key('Z', false, true)}},
      {"ctrl+space", std::string("\0", 1), {Key(0x20, false, true)}},
      {"lone escape", "\x1B", {Key(0x1B)}},
      {"arrows (CSI)", "\x1B[A\x1B[B\x1B[C\x1B[D", {Key(0x26), Key(0x28), Key(0x27), Key(0x25)}},
      {"arrows (SS3)", "\x1BOA\x1BOD", {Key(0x26), Key(0x25)}},
      {"home/end",
       "\x1B[H\x1B[F\x1BOH\x1BOF\x1B[1~\x1B[4~\x1B[7~\x1B[8~",
       {Key(0x24), Key(0x23), Key(0x24), Key(0x23), Key(0x24), Key(0x23), Key(0x24), Key(0x23)}},
      {"insert/delete/page up/page down",
       "\x1B[2~\x1B[3~\x1B[5~\x1B[6~",
       {Key(0x2D), Key(0x2E), Key(0x21), Key(0x22)}},
      {"F1-F4 (SS3)", "\x1BOP\x1BOQ\x1BOR\x1BOS", {Key(0x70), Key(0x71), Key(0x72), Key(0x73)}},
      {"F1-F5 (Linux console)", "\x1B[[A\x1B[[E", {Key(0x70), Key(0x74)}},
      {"F1-F12 (tilde codes)",
       "\x1B[11~\x1B[15~\x1B[17~\x1B[18~\x1B[19~\x1B[20~\x1B[21~\x1B[23~\x1B[24~",
       {Key(0x70), Key(0x74), Key(0x75), Key(0x76), Key(0x77), Key(0x78), Key(0x79), Key(0x7A), Key(0x7B)}},
      {"modified keys",
       "\x1B[1;5C\x1B[1;2A\x1B[3;5~\x1B[1;3P\x1B[Z",
       {Key(0x27, false, true), Key(0x26, true), Key(0x2E, false, true), Key(0x70, false, false, true),
        Key(0x09, true)}},
      {"alt+key (escape prefix)",
       "\x1Bx\x1B"
       "A",
       {Key('X', false, false, true), Key('A', true, false, true)}},
      {"unknown sequences are dropped", "\x1B[99~a\x1B[?1;2cb", {Key(0x41), Key(0x42)}},
      {"double escape", "\x1B\x1B", {Key(0x1B), Key(0x1B)}},
      {"non-ASCII is reported, not sent; Ctrl-] ends",
       "\xE3\x81\x82\x1D",
       {TerminalKey{TerminalKey::Kind::kUntypeable, {}, 0x3042},
        TerminalKey{TerminalKey::Kind::kEnd, {}, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadAll(c.bytes), c.keys);
  }
}

TEST(TerminalKeys, SequencesSplitAcrossReadsAreJoined) {
  TerminalKeyReader reader;
  EXPECT_TRUE(reader.Feed("\x1B").empty());
  EXPECT_TRUE(reader.HasPending());
  EXPECT_TRUE(reader.Feed("[1;").empty());
  EXPECT_EQ(reader.Feed("5Dq"), (std::vector<TerminalKey>{Key(0x25, false, true), Key('Q')}));
  EXPECT_FALSE(reader.HasPending());

  // A UTF-8 character split between reads is one character.
  EXPECT_TRUE(reader.Feed("\xE3\x81").empty());
  EXPECT_EQ(reader.Feed("\x82"), std::vector<TerminalKey>{Untypeable(0x3042)});

  // Nothing followed the ESC: it was the Escape key, and what comes next starts afresh.
  EXPECT_TRUE(reader.Feed("\x1B").empty());
  EXPECT_EQ(reader.Flush(), std::vector<TerminalKey>{Key(0x1B)});
  EXPECT_EQ(reader.Feed("[A"), (std::vector<TerminalKey>{Key(0xDB), Key(0x41, true)}));
}

}  // namespace
}  // namespace srd::sender
