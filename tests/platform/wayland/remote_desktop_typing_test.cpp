// strokerelayd typing into a native Wayland terminal on a GNOME compositor (mutter) as its ordinary user,
// with no uinput device: through mutter's remote desktop on the session bus, which types with mutter's
// keymap.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "desktop_typing.h"
#include "platform/wayland/remote_desktop_key_backend.h"
#include "support/mutter_desktop.h"
#include "support/sample_text.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

constexpr char kEnglish[] = "Hello, World! (a=b) user@example.com #1 & 50% *ok* ~x; \"q\" <y> [z]\n";
constexpr std::uint8_t kVkReturn = 0x0D;

class RemoteDesktopTypingTest : public ::testing::Test {
 protected:
  // Mutter, and the terminal with the focus, ready for text.
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    user_ = test::OrdinaryTestUser();
    ASSERT_TRUE(user_) << "no ordinary user to run mutter as";
    ASSERT_TRUE(mutter_.Start(*user_)) << "mutter did not start";
    ASSERT_TRUE(terminal_.Start(*user_, mutter_.RuntimeDir(), mutter_.WaylandDisplay()));
    // The user's own keyboard, which headless mutter lacks: a session of the test's, kept while the test
    // runs, so that the seat has a keyboard throughout. It types Return until the terminal has it: the
    // terminal then has the focus.
    std::string why;
    userKeyboard_ = RemoteDesktopKeyBackend::Create(mutter_.BusAddress(), &why);
    ASSERT_NE(userKeyboard_, nullptr) << why;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
          userKeyboard_->Inject(kVkReturn, 0, KEYEVENT_PRESS, 0);
          userKeyboard_->Inject(kVkReturn, 0, KEYEVENT_KEYUP, 0);
          userKeyboard_->Flush();
          return !terminal_.Text().empty();
        },
        30s, 200ms))
        << "the terminal never got a key";
    test::MarkOnceSettled(terminal_);
  }

  std::unique_ptr<test::ProgramProcess> StartRelay(test::ScopedTempDir& runtime) {
    std::string why;
    auto relay = test::StartRelayAs(
        *user_, runtime,
        {{"WAYLAND_DISPLAY", mutter_.WaylandDisplay()}, {"DBUS_SESSION_BUS_ADDRESS", mutter_.BusAddress()}},
        &why);
    EXPECT_NE(relay, nullptr) << why;
    return relay;
  }

  std::optional<test::TestUser> user_;
  test::MutterDesktop mutter_;
  test::TerminalRecorder terminal_;
  std::unique_ptr<RemoteDesktopKeyBackend> userKeyboard_;
};

// The compositor offers no virtual keyboard, so mutter's remote desktop types; its session was started before
// the port was bound, so the first key of the first datagram arrives; a long text arrives whole.
TEST_F(RemoteDesktopTypingTest, TypesTheFirstSentenceAndALongTextWhole) {
  test::ScopedTempDir runtime("srd-relay");
  auto relay = StartRelay(runtime);
  ASSERT_NE(relay, nullptr);
  EXPECT_TRUE(test::Said(*relay,
                         "strokerelayd: typing through mutter's remote desktop (GNOME), keyboard layout us "
                         "(compositor keymap)"))
      << relay->Stderr();
  ASSERT_EQ(test::RunSender({"-l", "us", "127.0.0.1", kEnglish}), 0);
  EXPECT_EQ(test::TextOnceThere(terminal_, kEnglish, 10s), kEnglish) << relay->Stderr();
  terminal_.Mark();
  const std::string text = test::SampleText(3000) + "\n";
  ASSERT_EQ(test::RunSender({"-l", "us", "127.0.0.1", text}), 0);
  EXPECT_EQ(test::TextOnceThere(terminal_, text), text);
}

// Killed with Shift and A held, mutter ends the session and lets its keys go: A is not repeated, and a new
// start types without Shift.
TEST_F(RemoteDesktopTypingTest, KeysHeldAtAKillAreNotRepeatedNorHeldForTheNextStart) {
  test::ExpectKeysHeldAtAKillLetGo(terminal_,
                                   [this](test::ScopedTempDir& runtime) { return StartRelay(runtime); });
}

}  // namespace
}  // namespace srd
