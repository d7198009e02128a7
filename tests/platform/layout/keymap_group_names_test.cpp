// A compositor's keymap text that XKB's parser crashes on is refused as one that does not compile, and the
// process that asked goes on; a sound text still gives its groups' names.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "platform/layout/layout_keymap.h"
#include "support/fake_compositor.h"

namespace srd {
namespace {

// An empty first entry in a key's symbols: libxkbcommon 1.5's parser writes through a null pointer on it.
constexpr const char* kParserCrash =
    "xkb_keymap {\n"
    "xkb_keycodes \"k\" { maximum = 255; <AD06> = 29; <AB01> = 52; };\n"
    "xkb_types \"t\" { include \"complete\" };\n"
    "xkb_compat \"c\" { include \"complete\" };\n"
    "xkb_symbols \"s\" { name[group1]=\"\";\n"
    "  key <AD06>  {, []z [ z, Z ] }; };\n"
    "};\n";

TEST(KeymapGroupNames, ASoundTextGivesItsGroupsAndOneThatCrashesTheParserIsRefused) {
  const auto names = KeymapGroupNames(test::KeymapTextOf("de,us"));
  ASSERT_TRUE(names.has_value());
  ASSERT_EQ(names->size(), 2u);
  EXPECT_EQ((*names)[0], "German");
  EXPECT_EQ((*names)[1], "English (US)");

  EXPECT_FALSE(KeymapGroupNames(kParserCrash).has_value());
  EXPECT_FALSE(KeymapGroupNames("xkb_keymap { not a keymap").has_value());
  EXPECT_FALSE(KeymapGroupNames("").has_value());

  // Asked again and again, as a compositor that sends a keymap at every layout switch: no child is left over.
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(KeymapGroupNames(kParserCrash).has_value());
  }
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
}  // namespace srd
