// strokesender --window as a user runs it: its window on one X server, where the test types with XTest, and
// strokerelayd on another, whose keys a separate client watches arrive. On a single server the injected keys
// would come back into the capture window.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../../support/udp_port.h"
#include "sender_screen.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/wait_until.h"
#include "support/xvfb_server.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

// X keycodes of the evdev keymap both servers use (Linux key code + 8).
constexpr int kBackSpace = 22;
constexpr int kRightBracket = 35;
constexpr int kControlL = 37;
constexpr int kA = 38;
constexpr int kShiftL = 50;
constexpr int kB = 56;
constexpr int kF5 = 71;
constexpr int kLeft = 113;

class WindowModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_TRUE(senderX_.Start());
    ASSERT_TRUE(receiverX_.Start());
    test::StopAutoRepeat(senderX_.DisplayName());
    test::StopAutoRepeat(receiverX_.DisplayName());

    receiver_ = std::make_unique<test::ProgramProcess>(test::ProgramOptions(
        SRD_PROGRAM, {{"DISPLAY", receiverX_.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}}));
    ASSERT_TRUE(test::WaitUntil([] { return !test::UdpPortIsFree(8102); }, 30s))
        << "strokerelayd did not bind";
    observer_ = std::make_unique<KeyObserver>(receiverX_.DisplayName());
    ASSERT_TRUE(observer_->Ready());

    test::ProgramOptions sender(STROKESENDER_PATH, {{"DISPLAY", senderX_.DisplayName()}});
    sender.arguments = {"--window", "127.0.0.1"};
    sender_ = std::make_unique<test::ProgramProcess>(sender);
    screen_ = std::make_unique<test::SenderScreen>(senderX_.DisplayName());
    ASSERT_TRUE(test::WaitUntil(
        [this] { return (window_ = screen_->Find("strokesender \u2192 127.0.0.1:8102")); }, 30s, 20ms))
        << sender_->Stderr();
    ASSERT_TRUE(test::WaitUntil([this] { return screen_->Focused() == window_; }, 30s, 20ms));
    // Ready once a key typed there arrives; a key typed before the program has taken the focus may be lost.
    for (int attempt = 0; attempt < 3 && !Typed(kShiftL); ++attempt) {
    }
  }

  void TearDown() override {
    if (receiver_) {
      receiver_->Signal(SIGTERM);
      EXPECT_EQ(receiver_->WaitExit(30s), 0) << receiver_->Stderr();
    }
  }

  // Taps a key in the capture window; true when its press and release arrived.
  bool Typed(int keycode) {
    screen_->Key(keycode, true);
    screen_->Key(keycode, false);
    return observer_->Take(2) == std::vector<KeyEvent>{{keycode, true}, {keycode, false}};
  }

  XvfbServer senderX_;
  XvfbServer receiverX_;
  std::unique_ptr<test::ProgramProcess> receiver_;
  std::unique_ptr<KeyObserver> observer_;
  std::unique_ptr<test::ProgramProcess> sender_;
  std::unique_ptr<test::SenderScreen> screen_;
  unsigned long window_ = 0;
};

TEST_F(WindowModeTest, KeysArrivePressByPressAndReleaseByRelease) {
  // a, B, Ctrl+A, F5, Left, BackSpace, with the modifiers let go after the key as people often do.
  const std::vector<KeyEvent> typed = {
      {kA, true},         {kA, false},      {kShiftL, true},    {kB, true},
      {kB, false},        {kShiftL, false}, {kControlL, true},  {kA, true},
      {kControlL, false}, {kA, false},      {kF5, true},        {kF5, false},
      {kLeft, true},      {kLeft, false},   {kBackSpace, true}, {kBackSpace, false}};
  for (const auto& [keycode, down] : typed) {
    screen_->Key(keycode, down);
  }
  EXPECT_EQ(observer_->Take(typed.size()), typed);
  EXPECT_TRUE(observer_->KeysDown().empty());
}

TEST_F(WindowModeTest, LosingTheFocusLetsGoOfHeldKeysAtTheReceiver) {
  screen_->Key(kControlL, true);
  screen_->Key(kA, true);
  ASSERT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kControlL, true}, {kA, true}}));
  screen_->Unfocus();
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kA, false}, {kControlL, false}}));
  EXPECT_TRUE(observer_->KeysDown().empty());
  // Let go of on the sender's side while elsewhere, they send nothing more: the next key is the first to
  // come.
  screen_->Key(kA, false);
  screen_->Key(kControlL, false);
  screen_->Focus(window_);
  ASSERT_TRUE(test::WaitUntil([this] { return screen_->Focused() == window_; }, 30s, 20ms));
  EXPECT_TRUE(Typed(kBackSpace));
  EXPECT_TRUE(sender_->Running());
}

TEST_F(WindowModeTest, ClosingTheWindowLetsGoAndEndsWithSuccess) {
  screen_->Key(kShiftL, true);
  ASSERT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{kShiftL, true}}));
  screen_->AskToClose(window_);
  EXPECT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{kShiftL, false}}));
  EXPECT_EQ(sender_->WaitExit(30s), 0) << sender_->Stderr();
  screen_->Key(kShiftL, false);
}

TEST_F(WindowModeTest, CtrlBracketEndsWithoutTypingTheBracket) {
  screen_->Key(kControlL, true);
  screen_->Key(kRightBracket, true);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kControlL, true}, {kControlL, false}}));
  EXPECT_EQ(sender_->WaitExit(30s), 0) << sender_->Stderr();
  screen_->Key(kRightBracket, false);
  screen_->Key(kControlL, false);
}

TEST(WindowModeWithoutDisplay, SaysSoInOneLineAndExitsTwo) {
  test::ProgramOptions options(STROKESENDER_PATH);
  options.arguments = {"--window", "127.0.0.1"};
  test::ProgramProcess sender(options);
  EXPECT_EQ(sender.WaitExit(30s), 2);
  const std::string error = sender.Stderr();
  EXPECT_NE(error.find("--window needs a display"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
}

}  // namespace
}  // namespace srd
