#include "text_encoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace srd::sender {
namespace {

std::string Tap(unsigned vk) {
  char text[16];
  std::snprintf(text, sizeof text, "?k%02xu%02x", vk, vk);
  return text;
}

std::string ShiftedTap(unsigned vk) {
  char text[32];
  std::snprintf(text, sizeof text, "?k10k%02xu%02xu10", vk, vk);
  return text;
}

// The US keyboard as a typist sees it: each key's unshifted and shifted character and its virtual-key code.
std::map<char, std::string> UsKeyboardDatagrams() {
  struct Row {
    const char* plain;
    const char* shifted;
    std::vector<unsigned> keys;
  };
  const Row rows[] = {
      {"`1234567890-=",
       "~!@#$%^&*()_+",
       {0xC0, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x30, 0xBD, 0xBB}},
      {"qwertyuiop[]\\",
       "QWERTYUIOP{}|",
       {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', 0xDB, 0xDD, 0xDC}},
      {"asdfghjkl;'", "ASDFGHJKL:\"", {'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', 0xBA, 0xDE}},
      {"zxcvbnm,./", "ZXCVBNM<>?", {'Z', 'X', 'C', 'V', 'B', 'N', 'M', 0xBC, 0xBE, 0xBF}},
  };
  std::map<char, std::string> table;
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.keys.size(); ++i) {
      table[row.plain[i]] = Tap(row.keys[i]);
      table[row.shifted[i]] = ShiftedTap(row.keys[i]);
    }
  }
  table[' '] = "?k20u20";
  table['\n'] = "?k0du0d";
  table['\t'] = "?k09u09";
  return table;
}

TEST(TextEncoding, EveryPrintableCharacterNewlineAndTabIsOneBalancedDatagram) {
  const std::map<char, std::string> expected = UsKeyboardDatagrams();
  // The keyboard description above covers exactly the printable range plus newline and tab.
  ASSERT_EQ(expected.size(), 95u + 2u);
  for (const auto& [character, datagram] : expected) {
    SCOPED_TRACE(std::string("character '") + character + "'");
    const EncodedText encoded = EncodeText(std::string(1, character));
    ASSERT_FALSE(encoded.refusal.has_value());
    ASSERT_EQ(encoded.datagrams.size(), 1u);
    EXPECT_EQ(encoded.datagrams[0], datagram);
  }
}

TEST(TextEncoding, TextBecomesOneDatagramPerCharacterInOrder) {
  const EncodedText encoded = EncodeText("Hi!\r\n");
  ASSERT_FALSE(encoded.refusal.has_value());
  const std::vector<std::string> expected = {"?k10k48u48u10", "?k49u49", "?k10k31u31u10", "?k0du0d"};
  EXPECT_EQ(encoded.datagrams, expected);
  EXPECT_TRUE(EncodeText("").datagrams.empty());
}

TEST(TextEncoding, ModifiersWrapTheKeyInNestedOrder) {
  EXPECT_EQ(StrokeDatagram(KeyStroke{0x41, true, true, true}), "?k11k12k10k41u41u10u12u11");
  EXPECT_EQ(StrokeDatagram(KeyStroke{0x2E, false, true, false}), "?k11k2eu2eu11");
}

struct RefusalCase {
  const char* name;
  std::string text;
  bool invalidUtf8;
  char32_t codePoint;
  std::size_t index, line, column;
  const char* messageByCharacter;
  const char* messageByLine;
};

TEST(TextEncoding, RefusesWhatAUsKeyboardCannotTypeAndSaysWhere) {
  const RefusalCase cases[] = {
      {"japanese", "ab\n\xE6\x97\xA5\xE6\x9C\xAC", false, 0x65E5, 4, 2, 1,
       "cannot type U+65E5 \"\xE6\x97\xA5\" at character 4", "at line 2, column 1"},
      {"latin letter with accent", "caf\xC3\xA9", false, 0xE9, 4, 1, 4, "U+00E9 \"\xC3\xA9\" at character 4",
       nullptr},
      {"escape", "x\x1B", false, 0x1B, 2, 1, 2, "U+001B (a control character) at character 2", nullptr},
      {"lone carriage return", "a\rb", false, 0x0D, 2, 1, 2, "U+000D", nullptr},
      {"delete", "\x7F", false, 0x7F, 1, 1, 1, "U+007F (a control", nullptr},
      {"stray continuation byte", "ok\x80", true, 0, 3, 1, 3, "invalid UTF-8 (byte 0x80) at character 3",
       nullptr},
      {"truncated sequence", "\n\nab\xE6\x97", true, 0, 5, 3, 3, "byte 0xE6", "at line 3, column 3"},
      {"overlong slash", "\xC0\xAF", true, 0, 1, 1, 1, "byte 0xC0", nullptr},
      {"overlong three bytes", "\xE0\x80\xAF", true, 0, 1, 1, 1, "byte 0xE0", nullptr},
      {"surrogate", "\xED\xA0\x80", true, 0, 1, 1, 1, "byte 0xED", nullptr},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", true, 0, 1, 1, 1, "byte 0xF4", nullptr},
      {"emoji", "x\xF0\x9F\x98\x80y", false, 0x1F600, 2, 1, 2, "U+1F600", nullptr},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EncodedText encoded = EncodeText(c.text);
    ASSERT_TRUE(encoded.refusal.has_value());
    EXPECT_TRUE(encoded.datagrams.empty());
    const TextRefusal& refusal = *encoded.refusal;
    EXPECT_EQ(refusal.invalidUtf8, c.invalidUtf8);
    if (!c.invalidUtf8) {
      EXPECT_EQ(refusal.codePoint, c.codePoint);
    }
    EXPECT_EQ(refusal.index, c.index);
    EXPECT_EQ(refusal.line, c.line);
    EXPECT_EQ(refusal.column, c.column);
    EXPECT_NE(DescribeRefusal(refusal, false).find(c.messageByCharacter), std::string::npos)
        << DescribeRefusal(refusal, false);
    if (c.messageByLine != nullptr) {
      EXPECT_NE(DescribeRefusal(refusal, true).find(c.messageByLine), std::string::npos)
          << DescribeRefusal(refusal, true);
    }
  }
}

TEST(TextEncoding, DecodesUtf8AtTheBoundsOfEachLength) {
  struct Case {
    std::string bytes;
    char32_t codePoint;
    std::size_t length;
  };
  const Case valid[] = {{"\x7F", 0x7F, 1},
                        {"\xC2\x80", 0x80, 2},
                        {"\xDF\xBF", 0x7FF, 2},
                        {"\xE0\xA0\x80", 0x800, 3},
                        {"\xED\x9F\xBF", 0xD7FF, 3},
                        {"\xEE\x80\x80", 0xE000, 3},
                        {"\xF0\x90\x80\x80", 0x10000, 4},
                        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4}};
  for (const Case& c : valid) {
    const std::optional<Utf8Character> decoded = DecodeUtf8Character(c.bytes);
    ASSERT_TRUE(decoded.has_value()) << static_cast<unsigned>(c.codePoint);
    EXPECT_EQ(decoded->codePoint, c.codePoint);
    EXPECT_EQ(decoded->length, c.length);
  }
  bool incomplete = false;
  EXPECT_FALSE(DecodeUtf8Character("\xF0\x9F", &incomplete).has_value());
  EXPECT_TRUE(incomplete);
  EXPECT_FALSE(DecodeUtf8Character("\xED\xA0", &incomplete).has_value());
  EXPECT_FALSE(incomplete) << "an impossible beginning is not merely unfinished";
}

}  // namespace
}  // namespace srd::sender
