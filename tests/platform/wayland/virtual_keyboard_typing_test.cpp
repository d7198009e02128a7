// strokerelayd typing into a native Wayland terminal on a sway desktop as its ordinary user, with no uinput
// device: through the compositor's virtual keyboard, with the compositor's keymap and its active layout.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>

#include "desktop_typing.h"
#include "support/sample_text.h"
#include "support/sway_desktop.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

constexpr char kGerman[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e, Stra\xC3\x9F"
    "e: 5\xE2\x82\xAC @ M\xC3\xBCller & Y/Z {ok} | 100%\n";
constexpr char kEnglish[] = "Hello, World! (a=b) user@example.com #1 & 50% *ok* ~x; \"q\" <y> [z]\n";

class VirtualKeyboardTypingTest : public ::testing::Test {
 protected:
  // Sway with `layouts`, and the terminal with the focus, ready for text.
  void StartDesktop(const std::string& layouts) {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    user_ = test::OrdinaryTestUser();
    ASSERT_TRUE(user_) << "no ordinary user to run sway as";
    ASSERT_TRUE(sway_.Start(*user_, layouts)) << "sway did not start";
    ASSERT_TRUE(terminal_.Start(*user_, sway_.RuntimeDir(), sway_.WaylandDisplay()));
    // The user's own keyboard types Return until the terminal has it: it then has the focus.
    ASSERT_TRUE(
        test::WaitUntil([&] { return sway_.Tap(KEY_ENTER) && !terminal_.Text().empty(); }, 30s, 200ms))
        << "the terminal never got a key";
    test::MarkOnceSettled(terminal_);
  }

  std::unique_ptr<test::ProgramProcess> StartRelay(test::ScopedTempDir& runtime) {
    std::string why;
    auto relay = test::StartRelayAs(
        *user_, runtime, {{"WAYLAND_DISPLAY", sway_.WaylandDisplay()}, {"SWAYSOCK", sway_.IpcSocket()}},
        &why);
    EXPECT_NE(relay, nullptr) << why;
    return relay;
  }

  std::optional<test::TestUser> user_;
  test::SwayDesktop sway_;
  test::TerminalRecorder terminal_;
};

// The first datagram's first key arrives (the keyboard was made before the port was bound); the line says
// which way keys go; a layout switched while running is followed, keymap group and translation both.
TEST_F(VirtualKeyboardTypingTest, TypesTheFirstSentenceWholeAndFollowsALayoutSwitch) {
  StartDesktop("us,de");
  test::ScopedTempDir runtime("srd-relay");
  auto relay = StartRelay(runtime);
  ASSERT_NE(relay, nullptr);
  EXPECT_TRUE(
      test::Said(*relay,
                 "strokerelayd: typing through the compositor's virtual keyboard (sway), keyboard layout "
                 "us (compositor keymap, sway layout 1 of 2)"))
      << relay->Stderr();

  ASSERT_EQ(test::RunSender({"-l", "us", "127.0.0.1", kEnglish}), 0);
  EXPECT_EQ(test::TextOnceThere(terminal_, kEnglish), kEnglish);
  terminal_.Mark();

  ASSERT_TRUE(sway_.SwitchLayout(1));
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        return test::Said(
            *relay, "strokerelayd: typing for keyboard layout de (compositor keymap, sway layout 2 of 2)");
      },
      20s))
      << relay->Stderr();
  ASSERT_EQ(test::RunSender({"-l", "de", "127.0.0.1", kGerman}), 0);
  EXPECT_EQ(test::TextOnceThere(terminal_, kGerman), kGerman);
}

// On a German desktop a long text, sent many keys to a datagram, arrives whole.
TEST_F(VirtualKeyboardTypingTest, TypesALongTextWholeOnAGermanDesktop) {
  StartDesktop("de");
  test::ScopedTempDir runtime("srd-relay");
  auto relay = StartRelay(runtime);
  ASSERT_NE(relay, nullptr);
  EXPECT_TRUE(
      test::Said(*relay,
                 "strokerelayd: typing through the compositor's virtual keyboard (sway), keyboard layout "
                 "de (compositor keymap, sway layout 1 of 1)"))
      << relay->Stderr();
  const std::string text = test::SampleText(3000) + "\n";
  ASSERT_EQ(test::RunSender({"-l", "de", "127.0.0.1", text}), 0);
  EXPECT_EQ(test::TextOnceThere(terminal_, text), text);
  ASSERT_EQ(test::RunSender({"-l", "de", "127.0.0.1", kGerman}), 0);
}

// Killed with Shift and A held, the keyboard goes with the connection and its keys with it: A is not
// repeated, and a new start types without Shift, though the compositor then has no keyboard in use to give a
// keymap from.
TEST_F(VirtualKeyboardTypingTest, KeysHeldAtAKillAreNotRepeatedNorHeldForTheNextStart) {
  StartDesktop("us");
  test::ExpectKeysHeldAtAKillLetGo(terminal_,
                                   [this](test::ScopedTempDir& runtime) { return StartRelay(runtime); });
}

}  // namespace
}  // namespace srd
