#include "platform/layout/keyboard_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "../../support/scoped_temp_dir.h"
#include "platform/layout/system_layout.h"

namespace srd {
namespace {

// Linux key codes as numbers from input-event-codes.h, so the tables are checked against another source.
constexpr std::uint16_t kY = 21, kZ = 44, kQ = 16, kA = 30, kW = 17, kSemicolon = 39, kLeftBrace = 26,
                        kGrave = 41, kRo = 89, kSlash = 53;

KeyboardLayout Make(const char* layout, const char* variant = "") {
  return MakeKeyboardLayout(LayoutName{layout, variant});
}

TEST(KeyboardLayout, CodesGoWhereEachLayoutPutsThemAndBack) {
  struct Row {
    const char* layout;
    const char* variant;
    LayoutRule rule;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> codeToKey;
  };
  const Row rows[] = {
      {"us", "", LayoutRule::kNamedTable, {{'Y', kY}, {'Z', kZ}, {0xC0, kGrave}, {0xDF, 0}}},
      {"de", "", LayoutRule::kNamedTable, {{'Y', kZ}, {'Z', kY}, {0xC0, kSemicolon}, {0xBD, kSlash}}},
      {"de", "nodeadkeys", LayoutRule::kNamedTable, {{'Y', kZ}, {'Z', kY}}},
      {"fr",
       "",
       LayoutRule::kNamedTable,
       {{'A', kQ}, {'Q', kA}, {'Z', kW}, {'M', kSemicolon}, {0xDF, kSlash}}},
      {"jp", "", LayoutRule::kNamedTable, {{0xC0, kLeftBrace}, {0xBA, 40}, {0xE2, kRo}, {0xDC, 124}}},
      {"gb", "", LayoutRule::kNamedTable, {{0xDF, kGrave}, {0xDE, 43}, {0xDC, 86}}},
      // Swiss German is QWERTZ without a table of its own; Dvorak moves every letter.
      {"ch", "", LayoutRule::kLatinFamily, {{'Y', kZ}, {'Z', kY}, {'A', kA}}},
      {"us", "dvorak", LayoutRule::kLatinFamily, {{'S', kSemicolon}, {'A', kA}, {0xDE, kQ}, {0xBA, kZ}}},
      {"fr", "bepo", LayoutRule::kLatinFamily, {{'B', kQ}, {'A', kA}}},
      // Cyrillic letters: the letter codes stay where a US keyboard has them.
      {"ru", "", LayoutRule::kUsPositions, {{'Y', kY}, {'Q', kQ}}},
      {"no-such-layout", "", LayoutRule::kUsPositions, {{'Z', kZ}}},
  };
  for (const Row& row : rows) {
    const KeyboardLayout layout = Make(row.layout, row.variant);
    const std::string label = layout.Name().Text();
    EXPECT_EQ(layout.Rule(), row.rule) << label;
    for (const auto& [code, key] : row.codeToKey) {
      EXPECT_EQ(layout.LinuxKeyCode(code), key) << label << ": 0x" << std::hex << int{code};
      if (key != 0) {
        EXPECT_EQ(VirtualKeyForLinuxKey(layout, key), code) << label << ": key " << key;
      }
    }
    // Keys off the main block never move.
    EXPECT_EQ(layout.LinuxKeyCode(0x0D), 28) << label;
    EXPECT_EQ(VirtualKeyForLinuxKey(layout, 28), 0x0D) << label;
  }
}

// Two codes on one key, or a letter on no key, would make a layout unable to type what it should.
TEST(KeyboardLayout, EveryLayoutPutsEachLetterAndDigitOnExactlyOneKey) {
  for (const auto& [layout, variant] : std::vector<std::pair<const char*, const char*>>{{"us", ""},
                                                                                        {"gb", ""},
                                                                                        {"jp", ""},
                                                                                        {"de", ""},
                                                                                        {"fr", ""},
                                                                                        {"es", ""},
                                                                                        {"it", ""},
                                                                                        {"ch", ""},
                                                                                        {"us", "dvorak"},
                                                                                        {"be", ""},
                                                                                        {"pl", ""}}) {
    const KeyboardLayout table = Make(layout, variant);
    std::set<std::uint16_t> keys;
    for (char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ")) {
      const std::uint16_t key = table.LinuxKeyCode(static_cast<std::uint8_t>(c));
      EXPECT_NE(key, 0) << layout << ":" << variant << " " << c;
      EXPECT_EQ(table.VirtualKeyAt(key), static_cast<std::uint8_t>(c))
          << layout << ":" << variant << " " << c;
      keys.insert(key);
    }
    EXPECT_EQ(keys.size(), 36u) << layout << ":" << variant;
  }
}

TEST(SystemLayout, ReadsTheKeyboardFileThenTheEnvironmentThenUs) {
  test::ScopedTempDir dir;
  const std::string file = dir.Path() + "/keyboard";
  const std::string missing = dir.Path() + "/none";
  std::ofstream(file) << "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"de,us\"\n"
                         "XKBVARIANT=\"nodeadkeys,\"\nXKBOPTIONS=\"\"\n";
  EXPECT_EQ(SystemLayoutName(file.c_str()), (LayoutName{"de", "nodeadkeys"}));

  unsetenv("XKB_DEFAULT_LAYOUT");
  unsetenv("XKB_DEFAULT_VARIANT");
  EXPECT_EQ(SystemLayoutName(missing.c_str()), LayoutName{});
  setenv("XKB_DEFAULT_LAYOUT", "fr", 1);
  setenv("XKB_DEFAULT_VARIANT", "azerty", 1);
  EXPECT_EQ(SystemLayoutName(missing.c_str()), (LayoutName{"fr", "azerty"}));
  std::ofstream(file) << "XKBLAYOUT=jp\n";
  EXPECT_EQ(SystemLayoutName(file.c_str()), (LayoutName{"jp", ""}));
  unsetenv("XKB_DEFAULT_LAYOUT");
  unsetenv("XKB_DEFAULT_VARIANT");

  EXPECT_EQ(LayoutOfGroup("us,de", ",nodeadkeys", 1), (LayoutName{"de", "nodeadkeys"}));
  EXPECT_EQ(LayoutOfGroup("us,de", "", 3), (LayoutName{"us", ""}));
  LayoutName parsed;
  EXPECT_TRUE(ParseLayoutName("de:nodeadkeys", &parsed));
  EXPECT_EQ(parsed, (LayoutName{"de", "nodeadkeys"}));
  EXPECT_FALSE(ParseLayoutName("de:", &parsed));
  EXPECT_FALSE(ParseLayoutName("d e", &parsed));
}

}  // namespace
}  // namespace srd
