// Two programs as a user runs them: strokesender typing at a running strokerelayd, whose keys reach a real X
// server through XTest. A separate X client watches the key events arrive at the server.

#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../../support/udp_port.h"
#include "datagram_batch.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/sample_text.h"
#include "support/typed_text.h"
#include "support/wait_until.h"
#include "support/xvfb_server.h"
#include "text_encoding.h"

namespace srd {
namespace {

// Runs strokesender with the arguments given to its end, without a display, as a user's shell would start
// it; its exit code, or -1.
int RunSender(std::vector<std::string> arguments) {
  test::ProgramOptions options(STROKESENDER_PATH);
  options.arguments = std::move(arguments);
  return test::ProgramProcess::RunToEnd(options, std::chrono::minutes(2));
}

class SenderEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_TRUE(xvfb_.Start());
    receiver_ = test::StartRelayOn(SRD_PROGRAM, xvfb_.DisplayName());
    ASSERT_NE(receiver_, nullptr) << "strokerelayd did not bind UDP 8102";
    observer_ = std::make_unique<KeyObserver>(xvfb_.DisplayName());
    ASSERT_TRUE(observer_->Ready());
  }

  void TearDown() override {
    observer_.reset();
    if (receiver_ != nullptr) {
      receiver_->Signal(SIGTERM);
      EXPECT_EQ(receiver_->WaitExit(std::chrono::seconds(20)), 0) << receiver_->Stderr();
    }
  }

  XvfbServer xvfb_;
  std::unique_ptr<test::ProgramProcess> receiver_;
  std::unique_ptr<KeyObserver> observer_;
};

TEST_F(SenderEndToEndTest, TextArrivesAsExactlyItsKeysInOrder) {
  // X keycodes on the evdev keymap (Linux key code + 8) of the US keys the text needs; capitals and '!' hold
  // Shift_L (50).
  const std::map<char, int> keycodes = {{'h', 43}, {'e', 26}, {'l', 46}, {'o', 32}, {',', 59},
                                        {' ', 65}, {'w', 25}, {'r', 27}, {'d', 40}, {'!', 10}};
  const std::string text = "Hello, World!";
  std::vector<KeyEvent> expected;
  for (char c : text) {
    const bool shift = std::isupper(static_cast<unsigned char>(c)) || c == '!';
    const int keycode = keycodes.at(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (shift) {
      expected.emplace_back(50, true);
    }
    expected.insert(expected.end(), {{keycode, true}, {keycode, false}});
    if (shift) {
      expected.emplace_back(50, false);
    }
  }
  ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", text}), 0);  // the receiving server's layout
  EXPECT_EQ(observer_->Take(expected.size()), expected);
  EXPECT_TRUE(observer_->KeysDown().empty());
}

// The key events the receiver injects for a text: what the sender's datagrams command.
std::size_t EventsOf(const std::string& text) {
  std::size_t events = 0;
  for (const std::string& datagram : sender::EncodeText(text).datagrams) {
    events += sender::EventCount(datagram);
  }
  return events;
}

TEST_F(SenderEndToEndTest, LongTextsAndEveryTypableCharacterArriveWhole) {
  // Every character the sender types, on its own and amid others, in batches that end at other characters.
  std::string every;
  for (char32_t c = 1; c < 0x30000; ++c) {
    if (sender::UsKeyboardStroke(c)) {
      ASSERT_LT(c, 0x80U) << "a US keyboard types only ASCII";
      every += static_cast<char>(c);
    }
  }
  EXPECT_EQ(every.size(), 95U + 2U);  // the printable characters, tab and newline
  std::string shuffled;
  for (std::size_t i = 0; i < 40; ++i) {
    for (std::size_t j = 0; j < every.size(); ++j) {
      shuffled += every[(j * 7 + i) % every.size()];
    }
  }
  // 6000 characters outlast the datagrams the pacer sends at once (about 4400 characters), so the rest goes
  // at the pace of its receiver model, a few seconds here.
  for (const std::string& text : {every, test::SampleText(6000), shuffled}) {
    SCOPED_TRACE(text.size());
    ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", text}), 0);  // the receiving server's layout
    const std::vector<KeyEvent> events = observer_->Take(EventsOf(text));
    const std::string typed = Utf8Of(TypedText(events, *observer_));
    ASSERT_EQ(typed.size(), text.size()) << "characters lost";
    EXPECT_EQ(typed, text);
    EXPECT_TRUE(observer_->KeysDown().empty());
  }
}

TEST_F(SenderEndToEndTest, RawCommandsReachTheDecoderUnchanged) {
  ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "K041U041"}), 0);
  ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "?k0dk10u10u0d"}), 0);
  const std::vector<KeyEvent> expected = {{38, true}, {38, false}, {36, true},
                                          {50, true}, {50, false}, {36, false}};
  EXPECT_EQ(observer_->Take(expected.size()), expected);
}

}  // namespace
}  // namespace srd
