// A compositor's keymap names its layouts by description; those XKB lists are found by it, and a layout of
// the compositor's own is read from the keymap itself.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <string>

#include "platform/wayland/keymap_groups.h"

namespace srd {
namespace {

// The keymap text a compositor would send for these layouts.
std::string KeymapText(const char* layouts) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names = {"evdev", "pc105", layouts, "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
  std::string result = text;
  free(text);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return result;
}

TEST(KeymapGroups, ListedDescriptionsAreFoundAndOthersAreReadFromTheKeymap) {
  std::string text = KeymapText("us,de");
  auto groups = KeymapGroups(text);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].name.Text(), "us");
  EXPECT_EQ(groups[1].description, "German");
  EXPECT_EQ(groups[1].name.Text(), "de");
  EXPECT_TRUE(groups[1].listed);

  // A compositor's own description of a German layout: QWERTZ by the family rule, from its own keymap.
  const std::string german = "\"German\"";
  text.replace(text.find(german), german.size(), "\"Office German\"");
  groups = KeymapGroups(text);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_FALSE(groups[1].listed);
  EXPECT_EQ(groups[1].name.layout, "Office German");
  const KeyboardLayout layout = MakeKeyboardLayout(groups[1].name);
  EXPECT_EQ(layout.Rule(), LayoutRule::kLatinFamily);
  EXPECT_EQ(layout.VirtualKeyAt(KEY_Z), 'Y');
  EXPECT_EQ(layout.VirtualKeyAt(KEY_Y), 'Z');

  EXPECT_TRUE(KeymapGroups("xkb_keymap { not a keymap").empty());
}

}  // namespace
}  // namespace srd
