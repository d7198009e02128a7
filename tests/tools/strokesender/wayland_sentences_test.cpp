// strokesender typing a sentence with the keys of a layout at a strokerelayd in a Wayland session whose
// compositor has that layout, with no uinput device: the keys go through XTest into XWayland, and an X client
// there must read the text that was sent. XWayland reads XTest keys with the XTest device's own keymap, so
// this holds only while strokerelayd gives that device the compositor's keymap.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../../support/udp_port.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/sample_text.h"
#include "support/typed_text.h"
#include "support/wait_until.h"
#include "support/weston_server.h"

namespace srd {
namespace {

constexpr int kF12 = 96;  // typed after the sentence: the end of what the sender sent

int RunSender(std::vector<std::string> arguments) {
  test::ProgramOptions options(STROKESENDER_PATH);
  options.arguments = std::move(arguments);
  return test::ProgramProcess::RunToEnd(options, std::chrono::minutes(2));
}

using test::Sentence;  // its texts have no dead keys: the observer reads characters, it does not compose them

class WaylandSentencesTest : public ::testing::TestWithParam<Sentence> {};

TEST_P(WaylandSentencesTest, AnXWaylandClientReadsTheSentenceSent) {
  if (!test::UdpPortIsFree(8102)) {
    GTEST_SKIP() << "UDP port 8102 is in use by another program";
  }
  const Sentence& sentence = GetParam();
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start(sentence.layout));
  test::ProgramOptions options(SRD_PROGRAM, {{"DISPLAY", weston.XDisplayName()},
                                             {"WAYLAND_DISPLAY", weston.WaylandDisplay()},
                                             {"QT_QPA_PLATFORM", "offscreen"}});
  test::ProgramProcess receiver(options);
  ASSERT_TRUE(receiver.Started() && receiver.WaitBound(8102, std::chrono::seconds(30))) << receiver.Stderr();
  const std::string said =
      "strokerelayd: typing for keyboard layout " + std::string(sentence.layout) +
      " (compositor keymap)\n"
      "strokerelayd: keys reach X11 windows only: in this Wayland session XTest types into "
      "XWayland; for every window give strokerelayd /dev/uinput as the README's "
      "Permissions section describes.\n";
  // Qt's offscreen platform may add lines of its own.
  EXPECT_NE(receiver.Stderr().find(said), std::string::npos) << receiver.Stderr();
  KeyObserver observer(weston.XDisplayName());
  ASSERT_TRUE(observer.Ready());

  ASSERT_EQ(RunSender({"-l", sentence.layout, "127.0.0.1", sentence.text}), 0);
  ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "K07BU07B"}), 0);
  const std::vector<KeyEvent> events = observer.TakeUntilReleaseOf(kF12);
  EXPECT_EQ(Utf8Of(TypedText(events, observer)), sentence.text) << events.size() << " key events";
  EXPECT_TRUE(observer.KeysDown().empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, WaylandSentencesTest,
                         ::testing::Values(Sentence{"de",
                                                    "Gr\xC3\xBC\xC3\x9F"
                                                    "e, Stra\xC3\x9F"
                                                    "e: 5\xE2\x82\xAC @ M\xC3\xBCller & Y/Z"},
                                           Sentence{"jp", "mail: user@example.jp [1] (a=b) ^_^ *ok* ~"},
                                           Sentence{"fr",
                                                    "Voil\xC3\xA0 l'\xC3\xA9t\xC3\xA9: \xC3\xA7"
                                                    "a fait 5 \xE2\x82\xAC ! o\xC3\xB9 ? #1 & (a)"}),
                         [](const ::testing::TestParamInfo<Sentence>& test) {
                           return std::string(test.param.layout);
                         });

}  // namespace
}  // namespace srd
