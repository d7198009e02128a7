// strokesender --window as a user runs it: its window on one X server, where the test types with XTest, and
// strokerelayd on another, whose keys a separate client watches arrive. On a single server the injected keys
// would come back into the capture window.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../support/loopback.h"
#include "sender_screen.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/scoped_temp_dir.h"
#include "support/wait_until.h"
#include "support/x_server_layout.h"
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

// The capture window with this title once it is shown and has the focus, or 0.
unsigned long ShownAndFocused(test::SenderScreen& screen, const std::string& title) {
  unsigned long window = 0;
  if (!test::WaitUntil([&] { return (window = screen.Find(title)) != 0; }, 30s, 20ms) ||
      !test::WaitUntil([&] { return screen.Focused() == window; }, 30s, 20ms)) {
    return 0;
  }
  return window;
}

class WindowModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_TRUE(senderX_.Start());
    ASSERT_TRUE(receiverX_.Start());
    test::SetAutoRepeat(senderX_.DisplayName(), false);
    test::SetAutoRepeat(receiverX_.DisplayName(), false);

    receiver_ = test::StartRelayOn(SRD_PROGRAM, receiverX_.DisplayName());
    ASSERT_NE(receiver_, nullptr) << "strokerelayd did not bind";
    observer_ = std::make_unique<KeyObserver>(receiverX_.DisplayName());
    ASSERT_TRUE(observer_->Ready());

    screen_ = std::make_unique<test::SenderScreen>(senderX_.DisplayName());
    ASSERT_TRUE(StartSender()) << sender_->Stderr();
  }

  // Starts strokesender --window; true once its window is shown and has the focus.
  bool StartSender() {
    test::ProgramOptions sender(STROKESENDER_PATH, {{"DISPLAY", senderX_.DisplayName()}});
    sender.arguments = {"--window", "127.0.0.1"};
    sender_ = std::make_unique<test::ProgramProcess>(sender);
    window_ = ShownAndFocused(*screen_, "strokesender \u2192 127.0.0.1:8102");
    // Ready once a key typed there arrives; a key typed before the program has taken the focus may be lost.
    for (int attempt = 0; window_ != 0 && attempt < 3 && !Typed(kShiftL); ++attempt) {
    }
    return window_ != 0;
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

// Paired, the window's keys are sealed with the receiver's key, stored for the host by --pair, and arrive as
// they do unpaired.
class PairedWindowModeTest : public WindowModeTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(config_.Path().empty());
    setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);  // for both programs
    FILE* pair = popen((std::string(SRD_PROGRAM) + " --pair").c_str(), "r");
    ASSERT_NE(pair, nullptr);
    char line[128] = {};
    std::string code;
    while (std::fgets(line, sizeof line, pair) != nullptr) {
      code = line;
    }
    ASSERT_EQ(pclose(pair), 0);
    code.erase(code.find_last_not_of('\n') + 1);
    test::ProgramOptions store(STROKESENDER_PATH);
    store.arguments = {"--pair", "127.0.0.1", code};
    ASSERT_EQ(test::ProgramProcess::RunToEnd(store, 30s), 0);
    WindowModeTest::SetUp();
  }
  void TearDown() override {
    WindowModeTest::TearDown();
    unsetenv("XDG_CONFIG_HOME");
  }
  test::ScopedTempDir config_{"srd-paired-window"};
};

TEST_F(PairedWindowModeTest, SealedKeysArrivePressByPressAndReleaseByRelease) {
  const std::vector<KeyEvent> typed = {{kShiftL, true},    {kB, true},         {kB, false},   {kA, true},
                                       {kShiftL, false},   {kA, false},        {kLeft, true}, {kLeft, false},
                                       {kBackSpace, true}, {kBackSpace, false}};
  for (const auto& [keycode, down] : typed) {
    screen_->Key(keycode, down);
  }
  EXPECT_EQ(observer_->Take(typed.size()), typed);
  EXPECT_TRUE(observer_->KeysDown().empty());
  EXPECT_NE(receiver_->Stderr().find("strokerelayd: paired: only senders holding this receiver's key"),
            std::string::npos);
  EXPECT_EQ(receiver_->Stderr().find("refused"), std::string::npos) << receiver_->Stderr();
}

TEST_F(WindowModeTest, EveryWayOfEndingLetsGoAndExitsWithSuccess) {
  const std::function<void()> ends[] = {
      [this] { screen_->AskToClose(window_); },       // the close button
      [this] { sender_->Signal(SIGTERM); },           // Ctrl-C, SIGTERM, SIGHUP alike
      [this] { screen_->Key(kRightBracket, true); },  // Ctrl+], which is not typed at the receiver
  };
  for (const auto& end : ends) {
    if (sender_ == nullptr) {
      ASSERT_TRUE(StartSender());
    }
    screen_->Key(kControlL, true);
    ASSERT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{kControlL, true}}));
    end();
    EXPECT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{kControlL, false}}));
    EXPECT_EQ(sender_->WaitExit(30s), 0) << sender_->Stderr();
    screen_->Key(kRightBracket, false);
    screen_->Key(kControlL, false);
    sender_.reset();
  }
}

// What the sender sends, read off a UDP socket of the test's own: a held key's repeats, which a receiver on X
// would not show (a second press of a key held through XTest is no new event there).
TEST(WindowModeDatagrams, AHeldKeyRepeatsAsPressesAndIsReleasedOnce) {
  XvfbServer x;
  ASSERT_TRUE(x.Start());
  test::UdpSocket inbox;  // on a free port, where the sender sends
  ASSERT_TRUE(inbox.Bind(0));
  test::ProgramOptions options(STROKESENDER_PATH, {{"DISPLAY", x.DisplayName()}});
  options.arguments = {"--window", "-p", std::to_string(inbox.LocalPort()), "127.0.0.1"};
  test::ProgramProcess sender(options);
  test::SenderScreen screen(x.DisplayName());
  ASSERT_NE(ShownAndFocused(screen, "strokesender \u2192 127.0.0.1:" + std::to_string(inbox.LocalPort())), 0u)
      << sender.Stderr();
  test::SetAutoRepeat(x.DisplayName(), true);
  screen.Key(kA, true);
  std::this_thread::sleep_for(2s);  // the server starts repeating after 660 ms, 25 times a second
  screen.Key(kA, false);
  screen.Key(kBackSpace, true);  // marks the end of what the held key caused
  screen.Key(kBackSpace, false);
  std::vector<std::string> datagrams;
  while (datagrams.empty() || datagrams.back() != "?u08") {
    std::string datagram = inbox.Receive(20s);
    if (datagram.empty()) {
      break;
    }
    datagrams.push_back(std::move(datagram));
  }
  ASSERT_GE(datagrams.size(), 5u) << ::testing::PrintToString(datagrams);
  const std::vector<std::string> ending = {"?u41", "?k08", "?u08"};
  EXPECT_TRUE(std::equal(ending.begin(), ending.end(), datagrams.end() - 3))
      << ::testing::PrintToString(datagrams);
  EXPECT_TRUE(
      std::all_of(datagrams.begin(), datagrams.end() - 3, [](const std::string& d) { return d == "?k41"; }))
      << "a release came while the key was held: " << ::testing::PrintToString(datagrams);
}

// A keyboard with two layouts: each key goes as the code of the layout it was typed with, and a switch made
// while the window is open is followed; -l keeps the one layout it names.
TEST(WindowModeDatagrams, KeysGoWithTheLayoutTheyWereTypedWith) {
  XvfbServer x;
  ASSERT_TRUE(x.Start());
  ASSERT_TRUE(test::SetServerLayout(x.DisplayName(), "us,de"));
  test::SetAutoRepeat(x.DisplayName(), false);
  for (const bool fixed : {false, true}) {
    SCOPED_TRACE(fixed ? "-l us" : "this machine's layouts");
    test::UdpSocket inbox;
    ASSERT_TRUE(inbox.Bind(0));
    test::ProgramOptions options(STROKESENDER_PATH, {{"DISPLAY", x.DisplayName()}});
    options.arguments = {"--window", "-p", std::to_string(inbox.LocalPort()), "127.0.0.1"};
    if (fixed) {
      options.arguments.insert(options.arguments.begin(), {"-l", "us"});
    }
    test::ProgramProcess sender(options);
    test::SenderScreen screen(x.DisplayName());
    screen.LockGroup(0);
    ASSERT_NE(ShownAndFocused(screen, "strokesender → 127.0.0.1:" + std::to_string(inbox.LocalPort())), 0u)
        << sender.Stderr();
    constexpr int kY = 29;  // the key right of T: Y on US, Z on German
    std::vector<std::string> datagrams;
    for (const unsigned group : {0u, 1u, 0u}) {
      screen.LockGroup(group);
      screen.Key(kY, true);
      screen.Key(kY, false);
      for (int i = 0; i < 2; ++i) {
        datagrams.push_back(inbox.Receive(20s));
      }
    }
    const std::vector<std::string> expected =
        fixed ? std::vector<std::string>{"?k59", "?u59", "?k59", "?u59", "?k59", "?u59"}
              : std::vector<std::string>{"?k59", "?u59", "?k5a", "?u5a", "?k59", "?u59"};
    EXPECT_EQ(datagrams, expected);
    sender.Signal(SIGTERM);
    EXPECT_EQ(sender.WaitExit(30s), 0);
  }
}

// A new keymap loaded while the window is open (setxkbmap, not a group switch) is followed from the first key
// that tells it.
TEST(WindowModeDatagrams, KeysFollowANewKeymapLoadedWhileTheWindowIsOpen) {
  XvfbServer x;
  ASSERT_TRUE(x.Start());
  ASSERT_TRUE(test::SetServerLayout(x.DisplayName(), "us"));
  test::SetAutoRepeat(x.DisplayName(), false);
  test::UdpSocket inbox;
  ASSERT_TRUE(inbox.Bind(0));
  test::ProgramOptions options(STROKESENDER_PATH, {{"DISPLAY", x.DisplayName()}});
  options.arguments = {"--window", "-p", std::to_string(inbox.LocalPort()), "127.0.0.1"};
  test::ProgramProcess sender(options);
  test::SenderScreen screen(x.DisplayName());
  ASSERT_NE(ShownAndFocused(screen, "strokesender → 127.0.0.1:" + std::to_string(inbox.LocalPort())), 0u)
      << sender.Stderr();
  constexpr int kY = 29;  // the key right of T: Y on US, Z on German
  std::vector<std::string> datagrams;
  for (const char* layout : {"us", "de", "us"}) {
    ASSERT_TRUE(test::SetServerLayout(x.DisplayName(), layout));
    screen.Key(kY, true);
    screen.Key(kY, false);
    for (int i = 0; i < 2; ++i) {
      datagrams.push_back(inbox.Receive(20s));
    }
    std::this_thread::sleep_for(1100ms);  // the keymap is read again at most once a second
  }
  EXPECT_EQ(datagrams, (std::vector<std::string>{"?k59", "?u59", "?k5a", "?u5a", "?k59", "?u59"}));
  sender.Signal(SIGTERM);
  EXPECT_EQ(sender.WaitExit(30s), 0);
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
