// strokesender in a Wayland session (a private weston whose seat has a keyboard): its default layout is the
// compositor's, found as strokerelayd finds the receiver's, and --window follows a layout switch made while
// typing, with keys the compositor's keyboard presses into its window.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/loopback.h"
#include "support/program_process.h"
#include "support/weston_server.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

test::ProgramOptions InSession(const test::WestonServer& weston, std::vector<std::string> arguments) {
  test::ProgramOptions options(STROKESENDER_PATH, {{"WAYLAND_DISPLAY", weston.WaylandDisplay()},
                                                   {"QT_QPA_PLATFORM", "wayland"},
                                                   {"LSAN_OPTIONS", SRD_WINDOW_LSAN_OPTIONS}});
  options.arguments = std::move(arguments);
  return options;
}

TEST(SenderOnWayland, TheDefaultLayoutIsTheCompositors) {
  test::UdpSocket inbox;
  ASSERT_TRUE(inbox.Bind(0));
  const std::string port = std::to_string(inbox.LocalPort());
  {
    test::WestonServer weston;
    ASSERT_TRUE(weston.Start("de"));
    test::ProgramProcess sender(InSession(weston, {"-p", port, "127.0.0.1", "yö#"}));
    EXPECT_EQ(sender.WaitExit(30s), 0) << sender.Stderr();
    // German: y on VK_Y, ö on VK_OEM_3, # on VK_OEM_2.
    EXPECT_EQ(inbox.Receive(10s), "?k59u59kc0uc0kbfubf");
  }
  // Two layouts and no desktop to say which is active: the keymap's first, as the receiver decides.
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("us,de"));
  test::ProgramProcess sender(InSession(weston, {"-p", port, "127.0.0.1", "yö"}));
  EXPECT_EQ(sender.WaitExit(30s), 2);
  EXPECT_NE(sender.Stderr().find("the us layout has no key for it"), std::string::npos) << sender.Stderr();
}

TEST(SenderOnWayland, TheWindowFollowsALayoutSwitchMadeWhileTyping) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("us,de"));
  test::UdpSocket inbox;
  ASSERT_TRUE(inbox.Bind(0));
  test::ProgramProcess sender(
      InSession(weston, {"--window", "-p", std::to_string(inbox.LocalPort()), "127.0.0.1"}));
  const auto tap = [&](int code) { return weston.Key(code, true) && weston.Key(code, false); };
  // The window takes the keyboard once shown; until then a key goes nowhere.
  bool ready = false;
  for (int attempt = 0; attempt < 60 && !ready && sender.Running(); ++attempt) {
    ASSERT_TRUE(tap(KEY_LEFTCTRL));
    ready = inbox.Receive(500ms) == "?ka2";
  }
  ASSERT_TRUE(ready) << sender.Stderr();
  while (!inbox.Receive(200ms).empty()) {
  }
  const auto typed = [&] {
    std::vector<std::string> datagrams;
    for (std::string d; !(d = inbox.Receive(2s)).empty();) {
      datagrams.push_back(d);
      if (datagrams.size() == 2) {
        break;
      }
    }
    return datagrams;
  };
  ASSERT_TRUE(tap(KEY_Y));
  EXPECT_EQ(typed(), (std::vector<std::string>{"?k59", "?u59"}));
  // Alt+Shift switches the keymap to its German layout (grp:alt_shift_toggle).
  weston.Key(KEY_LEFTALT, true);
  weston.Key(KEY_LEFTSHIFT, true);
  weston.Key(KEY_LEFTSHIFT, false);
  weston.Key(KEY_LEFTALT, false);
  for (int i = 0; i < 4; ++i) {
    inbox.Receive(2s);
  }
  ASSERT_TRUE(tap(KEY_Y));
  EXPECT_EQ(typed(), (std::vector<std::string>{"?k5a", "?u5a"}));
  sender.Signal(SIGTERM);
  EXPECT_EQ(sender.WaitExit(30s), 0) << sender.Stderr();
}

}  // namespace
}  // namespace srd
