#include "text_encoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace srd::sender {
namespace {

// The US keyboard as a typist sees it: each key's unshifted and shifted character and its virtual-key code.
TEST(TextEncoding, EveryPrintableCharacterNewlineAndTabIsOneBalancedDatagram) {
  struct Row {
    const char *plain, *shifted;
    std::vector<unsigned> keys;
  };
  const Row rows[] = {
      {"`1234567890-=",
       "~!@#$%^&*()_+",
       {0xC0, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', 0xBD, 0xBB}},
      {"qwertyuiop[]\\",
       "QWERTYUIOP{}|",
       {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', 0xDB, 0xDD, 0xDC}},
      {"asdfghjkl;'", "ASDFGHJKL:\"", {'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 0xBA, 0xDE}},
      {"zxcvbnm,./", "ZXCVBNM<>?", {'Z', 'X', 'C', 'V', 'B', 'N', 'M', 0xBC, 0xBE, 0xBF}},
  };
  std::map<char, std::string> expected = {{' ', "?k20u20"}, {'\n', "?k0du0d"}, {'\t', "?k09u09"}};
  char text[32];
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.keys.size(); ++i) {
      std::snprintf(text, sizeof text, "?k%02xu%02x", row.keys[i], row.keys[i]);
      expected[row.plain[i]] = text;
      std::snprintf(text, sizeof text, "?k10k%02xu%02xu10", row.keys[i], row.keys[i]);
      expected[row.shifted[i]] = text;
    }
  }
  ASSERT_EQ(expected.size(), 95u + 2u);  // exactly the printable range plus newline and tab
  for (const auto& [character, datagram] : expected) {
    SCOPED_TRACE(std::string("character '") + character + "'");
    const EncodedText encoded = EncodeText(std::string(1, character));
    ASSERT_FALSE(encoded.refusal.has_value());
    EXPECT_EQ(encoded.datagrams, std::vector<std::string>{datagram});
  }
}

TEST(TextEncoding, TextIsOneDatagramPerCharacterAndModifiersNest) {
  const EncodedText encoded = EncodeText("Hi!\r\n");  // CR LF is one Return
  EXPECT_EQ(encoded.datagrams,
            (std::vector<std::string>{"?k10k48u48u10", "?k49u49", "?k10k31u31u10", "?k0du0d"}));
  EXPECT_FALSE(encoded.refusal.has_value());
  EXPECT_TRUE(EncodeText("").datagrams.empty());
  EXPECT_EQ(StrokeDatagram(KeyStroke{0x41, true, true, true}), "?k11k12k10k41u41u10u12u11");
}

TEST(TextEncoding, RefusesWhatAUsKeyboardCannotTypeAndSaysWhere) {
  struct Case {
    std::string text;
    char32_t codePoint;  // 0: the bytes are not UTF-8
    std::size_t index, line, column;
    bool byLine;
    const char* message;
  };
  const Case cases[] = {
      {"ab\n\xE6\x97\xA5\xE6\x9C\xAC", 0x65E5, 4, 2, 1, false,
       "cannot type U+65E5 \"\xE6\x97\xA5\" at character 4"},
      {"ab\n\xE6\x97\xA5\xE6\x9C\xAC", 0x65E5, 4, 2, 1, true, "at line 2, column 1"},
      {"caf\xC3\xA9", 0xE9, 4, 1, 4, false, "U+00E9 \"\xC3\xA9\" at character 4"},
      {"x\xF0\x9F\x98\x80y", 0x1F600, 2, 1, 2, false, "U+1F600"},
      {"x\x1B", 0x1B, 2, 1, 2, false, "U+001B (a control character) at character 2"},
      {"a\rb", 0x0D, 2, 1, 2, false, "U+000D (a control"},  // a carriage return not ending a line
      {"\x7F", 0x7F, 1, 1, 1, false, "U+007F (a control"},
      {"ok\x80", 0, 3, 1, 3, false, "invalid UTF-8 (byte 0x80) at character 3"},
      {"\n\nab\xE6\x97", 0, 5, 3, 3, true, "byte 0xE6) at line 3, column 3"},  // truncated
      {"\xC0\xAF", 0, 1, 1, 1, false, "byte 0xC0"},                            // overlong '/'
      {"\xE0\x80\xAF", 0, 1, 1, 1, false, "byte 0xE0"},                        // overlong, three bytes
      {"\xED\xA0\x80", 0, 1, 1, 1, false, "byte 0xED"},                        // surrogate
      {"\xF4\x90\x80\x80", 0, 1, 1, 1, false, "byte 0xF4"},                    // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const EncodedText encoded = EncodeText(c.text);
    ASSERT_TRUE(encoded.refusal.has_value());
    EXPECT_TRUE(encoded.datagrams.empty());
    const TextRefusal& refusal = *encoded.refusal;
    EXPECT_EQ(refusal.invalidUtf8, c.codePoint == 0);
    EXPECT_EQ(refusal.codePoint, c.codePoint);
    EXPECT_EQ(refusal.index, c.index);
    EXPECT_EQ(refusal.line, c.line);
    EXPECT_EQ(refusal.column, c.column);
    EXPECT_NE(DescribeRefusal(refusal, c.byLine).find(c.message), std::string::npos)
        << DescribeRefusal(refusal, c.byLine);
  }
}

// A reader of terminal input waits for the rest of an unfinished character, never of an impossible one.
TEST(TextEncoding, TellsAnUnfinishedCharacterFromAnImpossibleOne) {
  bool incomplete = false;
  EXPECT_FALSE(DecodeUtf8Character("\xF0\x9F", &incomplete).has_value());
  EXPECT_TRUE(incomplete);
  EXPECT_FALSE(DecodeUtf8Character("\xED\xA0", &incomplete).has_value());
  EXPECT_FALSE(incomplete);
  EXPECT_EQ(DecodeUtf8Character("\xF4\x8F\xBF\xBFx")->codePoint, 0x10FFFFu);
}

}  // namespace
}  // namespace srd::sender
