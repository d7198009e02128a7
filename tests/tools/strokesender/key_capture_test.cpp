#include "key_capture.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "group_follower.h"
#include "platform/layout/keyboard_layout.h"
#include "platform/layout/vk_table.h"
#include "virtual_key_for_linux_key.h"

namespace srd::sender {
namespace {

// Off the main block (which follows the layout, below) every key the receiver can press is reached.
TEST(CapturedVirtualKey, EveryKeyTheReceiverCanPressIsReachedAndComesBackAsItself) {
  const auto dependent = LayoutDependentKeys();
  for (const std::uint16_t code : srd::EmittableLinuxKeyCodes()) {
    if (std::find(dependent.begin(), dependent.end(), code) != dependent.end()) {
      continue;
    }
    const std::uint8_t virtualKey = CapturedVirtualKey(UsKeyboardLayout(), code);
    ASSERT_NE(virtualKey, 0) << "key " << code;
    EXPECT_EQ(srd::LinuxKeyCode(virtualKey), code) << "key " << code << " sent as " << int{virtualKey};
  }
}

TEST(CapturedVirtualKey, PlainCodesWinOverAliasesAndUnknownKeysHaveNone) {
  const std::pair<std::uint16_t, std::uint8_t> cases[] = {
      {KEY_LEFTSHIFT, 0xA0},   {KEY_RIGHTSHIFT, 0xA1}, {KEY_LEFTCTRL, 0xA2}, {KEY_RIGHTALT, 0xA5},
      {KEY_GRAVE, 0xC0},       {KEY_CAPSLOCK, 0x14},   {KEY_PAUSE, 0x13},    {KEY_KP5, 0x65},
      {KEY_KPCOMMA, 0x6C},     {KEY_KPENTER, 0x0D},    {KEY_HENKAN, 0x1C},   {KEY_KATAKANAHIRAGANA, 0x15},
      {KEY_ZENKAKUHANKAKU, 0}, {KEY_RESERVED, 0},      {KEY_MAX, 0},         {0xFFFF, 0},
  };
  for (const auto& [code, virtualKey] : cases) {
    EXPECT_EQ(CapturedVirtualKey(UsKeyboardLayout(), code), virtualKey) << "key " << code;
  }
}

// The sender's own layout decides the codes of the main block: the receiver, on its layout, types what the
// key's label says (the key labelled Y on a German keyboard sits where a US keyboard has Z).
TEST(CapturedVirtualKey, TheMainBlockFollowsTheSendersLayoutAndComesBackOnTheSameLayout) {
  for (const std::string_view name : NamedLayouts()) {
    const KeyboardLayout layout = MakeKeyboardLayout(LayoutName{std::string(name), ""});
    for (const std::uint16_t code : LayoutDependentKeys()) {
      const std::uint8_t virtualKey = CapturedVirtualKey(layout, code);
      if (virtualKey != 0) {
        EXPECT_EQ(layout.LinuxKeyCode(virtualKey), code) << name << ": key " << code;
      }
    }
  }
  const KeyboardLayout german = MakeKeyboardLayout(LayoutName{"de", ""});
  EXPECT_EQ(CapturedVirtualKey(german, KEY_Y), 'Z');
  EXPECT_EQ(CapturedVirtualKey(german, KEY_Z), 'Y');
  KeyCapture capture(german);
  EXPECT_EQ(capture.Press(KEY_Z, false), "?k59");
  EXPECT_EQ(capture.Release(KEY_Z, false), "?u59");
}

TEST(KeyCapture, EachEventIsOneDatagramAndRepeatsArePressesOnly) {
  KeyCapture capture;
  EXPECT_EQ(capture.Press(KEY_A, false), "?k41");
  EXPECT_EQ(capture.Press(KEY_A, true), "?k41");
  EXPECT_EQ(capture.Release(KEY_A, true), "");
  EXPECT_EQ(capture.Press(KEY_A, true), "?k41");
  EXPECT_EQ(capture.Release(KEY_A, false), "?u41");
  EXPECT_FALSE(capture.Holding());
  // Neither a key without a code nor a key the receiver never saw pressed sends anything.
  EXPECT_EQ(capture.Press(KEY_ZENKAKUHANKAKU, false), "");
  EXPECT_EQ(capture.Release(KEY_ENTER, false), "");
  EXPECT_EQ(capture.ReleaseAll(), "");
}

TEST(KeyCapture, LettingGoReleasesEveryHeldKeyLastPressedFirst) {
  KeyCapture capture;
  capture.Press(KEY_LEFTCTRL, false);
  capture.Press(KEY_RIGHTSHIFT, false);
  capture.Press(KEY_F5, false);
  capture.Press(KEY_F5, true);  // a held key is let go once however often it repeated
  EXPECT_EQ(capture.Release(KEY_RIGHTSHIFT, false), "?ua1");
  capture.Press(KEY_LEFT, false);
  EXPECT_TRUE(capture.Holding());
  EXPECT_EQ(capture.ReleaseAll(), "?u25u74ua2");
  EXPECT_FALSE(capture.Holding());
  EXPECT_EQ(capture.Release(KEY_LEFTCTRL, false), "");  // already let go at the receiver
}

TEST(KeyCapture, TwoKeysWithOneCodeKeepItDownUntilBothAreUp) {
  KeyCapture capture;
  EXPECT_EQ(capture.Press(KEY_ENTER, false), "?k0d");
  EXPECT_EQ(capture.Press(KEY_KPENTER, false), "?k0d");
  EXPECT_EQ(capture.Release(KEY_ENTER, false), "");
  EXPECT_EQ(capture.Release(KEY_KPENTER, false), "?u0d");
  capture.Press(KEY_ENTER, false);
  capture.Press(KEY_KPENTER, false);
  EXPECT_EQ(capture.ReleaseAll(), "?u0d");
}

// A keyboard with two layouts: the keysym each key gave tells which layout it was typed with, from the first
// key that differs between them; keys alike in both keep the layout in use, and a key pressed before the
// switch is released with its own code.
TEST(KeyCapture, TheLayoutEachKeyWasTypedWithIsFollowedFromItsKeysym) {
  GroupFollower groups({LayoutName{"us", ""}, LayoutName{"de", ""}}, 0);
  KeyCapture capture(groups.Current());
  const auto press = [&](std::uint16_t code, std::uint32_t keysym) {
    capture.UseLayout(groups.LayoutFor(code, keysym));
    return capture.Press(code, false);
  };
  EXPECT_EQ(press(KEY_Y, 'y'), "?k59");
  EXPECT_EQ(capture.Release(KEY_Y, false), "?u59");
  EXPECT_EQ(press(KEY_Z, 'y'), "?k59");  // German: the key left of X gives y, and goes as VK_Y
  EXPECT_EQ(groups.ActiveGroup(), 1u);
  EXPECT_EQ(press(KEY_1, '1'), "?k31");
  EXPECT_EQ(press(KEY_LEFTSHIFT, 0xffe1), "?ka0");
  EXPECT_EQ(press(KEY_Y, 'Z'), "?k5a");  // Shift held: the keysym of the shifted level
  EXPECT_EQ(groups.ActiveGroup(), 1u);
  EXPECT_EQ(press(KEY_SEMICOLON, ';'), "?kba");  // back on US
  EXPECT_EQ(capture.Release(KEY_Z, false), "?u59");
  EXPECT_EQ(press(KEY_A, 0), "?k41");  // no keysym: the layout in use
  EXPECT_EQ(groups.ActiveGroup(), 0u);
}

}  // namespace
}  // namespace srd::sender
