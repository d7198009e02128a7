// strokesender typing a sentence with the keys of a layout, at a strokerelayd whose X server is set to that
// layout: the text is rebuilt from the key events the server receives, with the server's keymap and the
// usual compose rules for dead keys, and must be the text sent.

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../../support/udp_port.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/sample_text.h"
#include "support/x_server_layout.h"
#include "support/xvfb_server.h"

namespace srd {
namespace {

constexpr int kF12 = 96;  // typed after the sentence: the end of what the sender sent

// Runs strokesender with the arguments given to its end, without a display, as a user's shell would start
// it; its exit code, or -1.
int RunSender(std::vector<std::string> arguments) {
  test::ProgramOptions options(STROKESENDER_PATH);
  options.arguments = std::move(arguments);
  return test::ProgramProcess::RunToEnd(options, std::chrono::minutes(2));
}

// What the key events type on a keymap of these layout names, dead keys composed as X clients compose them.
std::string Typed(const std::vector<KeyEvent>& events, const std::string& layout) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names = {"evdev", "pc105", layout.c_str(), "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb_state* state = xkb_state_new(keymap);
  xkb_compose_table* table =
      xkb_compose_table_new_from_locale(context, "en_US.UTF-8", XKB_COMPOSE_COMPILE_NO_FLAGS);
  xkb_compose_state* compose = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
  std::string text;
  for (const auto& [keycode, down] : events) {
    const auto key = static_cast<xkb_keycode_t>(keycode);
    if (down) {
      const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state, key);
      char utf8[64] = {};
      if (xkb_compose_state_feed(compose, keysym) == XKB_COMPOSE_FEED_ACCEPTED) {
        switch (xkb_compose_state_get_status(compose)) {
          case XKB_COMPOSE_COMPOSED:
            xkb_compose_state_get_utf8(compose, utf8, sizeof utf8);
            text += utf8;
            xkb_compose_state_reset(compose);
            break;
          case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(compose);
            break;
          case XKB_COMPOSE_COMPOSING:
            break;
          case XKB_COMPOSE_NOTHING:
            if (xkb_keysym_to_utf8(keysym, utf8, sizeof utf8) > 0 && (utf8[0] & 0xE0) != 0) {
              text += utf8;
            }
            break;
        }
      }
    }
    xkb_state_update_key(state, key, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  }
  xkb_compose_state_unref(compose);
  xkb_compose_table_unref(table);
  xkb_state_unref(state);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return text;
}

using test::Sentence;

class SenderLayoutsTest : public ::testing::TestWithParam<Sentence> {};

TEST_P(SenderLayoutsTest, ASentenceArrivesAsTheSameText) {
  if (!test::UdpPortIsFree(8102)) {
    GTEST_SKIP() << "UDP port 8102 is in use by another program";
  }
  const Sentence& sentence = GetParam();
  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  ASSERT_TRUE(test::SetServerLayout(xvfb.DisplayName(), sentence.layout));
  const std::unique_ptr<test::ProgramProcess> receiver = test::StartRelayOn(SRD_PROGRAM, xvfb.DisplayName());
  ASSERT_NE(receiver, nullptr) << "strokerelayd did not bind UDP 8102";
  KeyObserver observer(xvfb.DisplayName());
  ASSERT_TRUE(observer.Ready());

  ASSERT_EQ(RunSender({"-l", sentence.layout, "127.0.0.1", sentence.text}), 0);
  ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "K07BU07B"}), 0);
  const std::vector<KeyEvent> events = observer.TakeUntilReleaseOf(kF12);
  EXPECT_EQ(Typed(events, sentence.layout), sentence.text) << events.size() << " key events\n"
                                                           << receiver->Stderr();
  EXPECT_TRUE(observer.KeysDown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SenderLayoutsTest,
    ::testing::Values(
        Sentence{"us", "The quick brown fox: 1 + 2 = 3? \"Yes\" ~ [ok] {x} a|b @home"},
        Sentence{"gb",
                 "Pay \xC2\xA3"
                 "5 or \xE2\x82\xAC"
                 "6 at #3, 'mail'@home ~ \\ |"},
        Sentence{"jp", "mail: user@example.jp [1] (a=b) ^_^ *ok* ~"},
        Sentence{"de",
                 "Gr\xC3\xBC\xC3\x9F"
                 "e, sch\xC3\xB6ne B\xC3\xA4ren: @ und \xE2\x82\xAC ~ {x} "
                 "\xC3\xAA ^ ` \xC2\xB4"},
        Sentence{"fr",
                 "F\xC3\xAAte \xC3\xA0 l'\xC3\xA9"
                 "cole: \xC3\xA7"
                 "a co\xC3\xBBte 5 "
                 "\xE2\x82\xAC ! o\xC3\xB9 ? M\xC3\xAAme #1 \xC2\xA8"},
        Sentence{"es", "\xC2\xBFQu\xC3\xA9 tal, ni\xC3\xB1o? \xC2\xA1Ol\xC3\xA9! ping\xC3\xBCino @ 5"},
        Sentence{"it", "Perch\xC3\xA9 \xC3\xA8 cos\xC3\xAC? Pi\xC3\xB9 @ e \xE2\x82\xAC #1"}),
    [](const ::testing::TestParamInfo<Sentence>& test) { return std::string(test.param.layout); });

}  // namespace
}  // namespace srd
