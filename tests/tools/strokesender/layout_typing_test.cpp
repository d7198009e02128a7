#include "layout_typing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "layout_list.h"
#include "terminal_keys.h"
#include "text_encoding.h"

namespace srd::sender {
namespace {

KeyStroke Key(std::uint8_t virtualKey, bool shift = false, bool altGr = false) {
  KeyStroke stroke{virtualKey};
  stroke.shift = shift;
  stroke.altGr = altGr;
  return stroke;
}

// Expected codes come from each layout's Windows chart: the key a typist of that layout presses.
TEST(LayoutTyping, CharactersAreTypedAsEachLayoutsTypistTypesThem) {
  struct Case {
    const char* layout;
    char32_t character;
    std::vector<KeyStroke> strokes;
  };
  const Case cases[] = {
      {"us", U'@', {Key('2', true)}},
      {"us", U'€', {}},
      {"de", U'z', {Key('Z')}},
      {"de", U'@', {Key('Q', false, true)}},
      {"de", U'€', {Key('E', false, true)}},
      {"de", U'ö', {Key(0xC0)}},
      {"de", U'ê', {Key(0xDC), Key('E')}},  // dead circumflex, then e
      {"de", U'^', {Key(0xDC), Key(' ')}},
      // Spacing accents of a dead key: the dead key twice, which the receiver's compose table makes them from
      // (the dead key and Space give an apostrophe or a quotation mark there).
      {"de", U'\u00B4', {Key(0xDD), Key(0xDD)}},
      {"fr", U'\u00A8', {Key(0xDD, true), Key(0xDD, true)}},
      {"us", U'\u00B4', {}},
      {"fr", U'a', {Key('A')}},
      {"fr", U'1', {Key('1', true)}},
      {"fr", U'!', {Key(0xDF)}},
      {"fr", U'ê', {Key(0xDD), Key('E')}},
      {"fr", U'ë', {Key(0xDD, true), Key('E')}},
      {"jp", U'@', {Key(0xC0)}},
      {"jp", U':', {Key(0xBA)}},
      {"jp", U'_', {Key(0xE2, true)}},
      {"gb", U'£', {Key('3', true)}},
      {"gb", U'"', {Key('2', true)}},
      {"es", U'ñ', {Key(0xC0)}},
      {"es", U'é', {Key(0xDE), Key('E')}},
      {"it", U'è', {Key(0xBA)}},
      {"ru", U'x', {}},
  };
  for (const Case& c : cases) {
    const auto typing = LayoutTyping::For(LayoutName{c.layout, ""});
    ASSERT_NE(typing, nullptr) << c.layout;
    EXPECT_EQ(typing->StrokesFor(c.character), c.strokes)
        << c.layout << " U+" << std::hex << static_cast<unsigned>(c.character);
  }
  EXPECT_EQ(LayoutTyping::For(LayoutName{"no-such-layout", ""}), nullptr);
}

TEST(LayoutTyping, ADeadKeyAndItsBaseTravelInOneDatagramAndRefusalsNameTheLayout) {
  const auto fr = LayoutTyping::For(LayoutName{"fr", ""});
  ASSERT_NE(fr, nullptr);
  const EncodedText encoded = EncodeText("\xC3\xAA@", fr.get());  // ê, then @ with AltGr
  EXPECT_EQ(encoded.datagrams, (std::vector<std::string>{"?kdduddk45u45", "?ka5k30u30ua5"}));

  const auto ru = LayoutTyping::For(LayoutName{"ru", ""});
  ASSERT_NE(ru, nullptr);
  const EncodedText refused = EncodeText("ok", ru.get());
  ASSERT_TRUE(refused.refusal.has_value());
  EXPECT_NE(DescribeRefusal(*refused.refusal, false).find("the ru layout has no key for it"),
            std::string::npos);
}

TEST(LayoutTyping, KeysTypedAtTheTerminalGoAsTheLayoutTypesThem) {
  const auto de = LayoutTyping::For(LayoutName{"de", ""});
  ASSERT_NE(de, nullptr);
  TerminalKeyReader reader(de.get());
  const auto stroke = [](KeyStroke s) { return TerminalKey{TerminalKey::Kind::kStroke, s, 0}; };
  EXPECT_EQ(reader.Feed("z\xC3\xAA\x7F\xE2\x82\xAC\xE6\x97\xA5"),  // z ê Backspace € 日
            (std::vector<TerminalKey>{stroke(Key('Z')), stroke(Key(0xDC)), stroke(Key('E')),
                                      stroke(Key(0x08)), stroke(Key('E', false, true)),
                                      TerminalKey{TerminalKey::Kind::kUntypeable, {}, 0x65E5}}));
}

TEST(LayoutTyping, TheLayoutOptionTakesAnXkbNameAndVariant) {
  ParsedCommandLine parsed = ParseCommandLine({"-l", "de:nodeadkeys", "h", "x"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.layout, (LayoutName{"de", "nodeadkeys"}));
  parsed = ParseCommandLine({"h", "--layout=jp"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.layout, (LayoutName{"jp", ""}));
  EXPECT_TRUE(ParseCommandLine({"h"}).options.layout.layout.empty());  // this machine's
  for (const char* bad : {"d e", "de:", ""}) {
    parsed = ParseCommandLine({"-l", bad, "h"});
    EXPECT_FALSE(parsed.ok) << bad;
    EXPECT_NE(parsed.error.find("invalid layout"), std::string::npos) << parsed.error;
  }
}

// The listing names what -l takes with the registry's descriptions, and marks exactly the layouts typed by a
// table of their own: a tabled layout's letter-keeping variant is marked, a variant that moves the letters
// and a layout of the Latin family are not.
TEST(LayoutTyping, TheLayoutListMarksTheTabledLayoutsAndVariants) {
  const std::string list = LayoutListText();
  for (const char* line : {"\n* de                          German\n", "\n* de:nodeadkeys ", "\n  us:dvorak ",
                           "\n  ch                          German (Switzerland)\n",
                           "\n  ru                          Russian\n"}) {
    EXPECT_NE(list.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace srd::sender
