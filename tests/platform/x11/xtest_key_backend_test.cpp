#include "platform/x11/xtest_key_backend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/choice/key_backend_choice.h"
#include "platform/keys/key_sink.h"
#include "platform/layout/vk_table.h"
#include "platform/x11/device_repeat.h"
#include "platform/x11/device_repeat_watch.h"
#include "receiver/key_commands.h"
#include "xtest_fixture.h"

namespace srd {
namespace {

TEST_F(XTestKeyBackendTest, DecodedCommandsArriveAtTheServerInOrder) {
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  InstallKeyBackend(backend.get());
  // Injected from another thread, as the receiver's worker does.
  std::thread worker([] {
    for (const char* text : {"?K041U041", "?k0dk10u10u0d", "?K103", "?K104"}) {
      DecodeKeyCommands(text);
    }
  });
  worker.join();
  InstallKeyBackend(nullptr);
  // Evdev keycodes: A 38, Return 36, Shift_L 50, Alt_L 64, grave 49, Alt_R 108, F6 72.
  const std::vector<KeyEvent> expected = {{38, true},  {38, false}, {36, true},  {50, true},  {50, false},
                                          {36, false}, {64, true},  {49, true},  {49, false}, {64, false},
                                          {108, true}, {72, true},  {72, false}, {108, false}};
  EXPECT_EQ(observer_->Take(expected.size()), expected);
  EXPECT_TRUE(observer_->KeysDown().empty());
}

TEST_F(XTestKeyBackendTest, KeysHeldAtShutdownAreReleased) {
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->Inject(0xA2, 0, KEYEVENT_PRESS, 11);  // left Control
  backend->Inject(0x42, 0, KEYEVENT_PRESS, 11);  // B
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{37, true}, {56, true}}));
  EXPECT_EQ(observer_->KeysDown(), (std::vector<int>{37, 56}));
  backend->ReleaseAll();
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{56, false}, {37, false}}));

  backend->Inject(0x43, 0, KEYEVENT_PRESS, 11);  // C, then the backend goes away with it down
  backend.reset();
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{54, true}, {54, false}}));
  EXPECT_TRUE(observer_->KeysDown().empty());
}

TEST_F(XTestKeyBackendTest, KeysymLookupFindsKeysThatTypeWhatTheEvdevRuleTypes) {
  XTestOptions byKeysym;
  byKeysym.lookUpByKeysym = true;
  auto evdev = MakeBackend();
  auto keysym = MakeBackend(byKeysym);
  ASSERT_TRUE(evdev != nullptr && keysym != nullptr);
  int compared = 0;
  for (std::uint16_t code : EmittableLinuxKeyCodes()) {
    const int expected = evdev->XKeycodeFor(code);
    if (expected == 0 || observer_->KeysymOf(expected) == 0) {
      continue;  // a key this server's keymap gives nothing to
    }
    // Some keysyms sit on two keys (Print, AudioPlay): either key types the same.
    EXPECT_EQ(observer_->KeysymOf(keysym->XKeycodeFor(code)), observer_->KeysymOf(expected))
        << "code " << code;
    ++compared;
  }
  EXPECT_GT(compared, 100);
  EXPECT_EQ(evdev->XKeycodeFor(LinuxKeyCode(0x29)), 0);  // beyond an X keycode: dropped
}

std::size_t Presses(const std::vector<KeyEvent>& events) {
  std::size_t presses = 0;
  for (const auto& [keycode, down] : events) {
    presses += down ? 1 : 0;
  }
  return presses;
}

// A press whose release was lost types one character; the sender's own repeats still type one each; the
// repeat of the XTest device, shared with every other XTest client, is back when the backend goes; the
// server's own keyboard never loses its repeat.
TEST_F(XTestKeyBackendTest, HeldKeysDoNotRepeatAndTheSharedSettingIsPutBack) {
  constexpr const char* kOwnKeyboard = "Xvfb keyboard";
  KeyObserver delivered(server_.DisplayName(), true);
  ASSERT_TRUE(delivered.Ready());
  _XDisplay* server = observer_->Connection();
  ASSERT_TRUE(XDeviceRepeat::RepeatEnabled(server, XDeviceRepeat::kXTestKeyboard));
  ASSERT_TRUE(XDeviceRepeat::RepeatEnabled(server, kOwnKeyboard));

  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  EXPECT_FALSE(XDeviceRepeat::RepeatEnabled(server, XDeviceRepeat::kXTestKeyboard));
  EXPECT_TRUE(XDeviceRepeat::RepeatEnabled(server, kOwnKeyboard));

  backend->Inject(0x41, 0, KEYEVENT_PRESS, 11);
  EXPECT_EQ(Presses(delivered.TakeFor(std::chrono::seconds(2))), 1u);

  for (int i = 1; i < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    backend->Inject(0x41, 0, KEYEVENT_PRESS, 11);
  }
  backend->Inject(0x41, 0, KEYEVENT_KEYUP, 11);
  const std::vector<KeyEvent> repeats = delivered.Take(19);
  EXPECT_EQ(Presses(repeats), 9u);
  EXPECT_EQ(repeats.size(), 19u);  // each repeat a release and a press, then the release
  EXPECT_TRUE(observer_->KeysDown().empty());

  backend.reset();
  EXPECT_TRUE(XDeviceRepeat::RepeatEnabled(server, XDeviceRepeat::kXTestKeyboard));
  EXPECT_TRUE(XDeviceRepeat::RepeatEnabled(server, kOwnKeyboard));
}

// The uinput sink's device appears in the server some time after the program starts; the watch finds a
// device by name (here the server's own keyboard stands in for it), gives up on a missing one when the
// program ends, and never hangs on a display that is not there.
TEST_F(XTestKeyBackendTest, RepeatWatchTurnsOffTheNamedDeviceOnly) {
  {
    XDeviceRepeatWatch watch(server_.DisplayName(), "Xvfb keyboard");
    EXPECT_TRUE(watch.WaitFound(std::chrono::seconds(20)));
  }
  EXPECT_FALSE(XDeviceRepeat::RepeatEnabled(observer_->Connection(), "Xvfb keyboard"));
  EXPECT_TRUE(XDeviceRepeat::RepeatEnabled(observer_->Connection(), XDeviceRepeat::kXTestKeyboard));
  {
    XDeviceRepeatWatch never(server_.DisplayName(), "no such keyboard", std::chrono::hours(1));
    EXPECT_FALSE(never.WaitFound(std::chrono::milliseconds(500)));
  }  // ends with the program, however patient
  XDeviceRepeatWatch nowhere(":9999", "Xvfb keyboard");
  EXPECT_FALSE(nowhere.WaitFound(std::chrono::seconds(20)));
}

TEST_F(XTestKeyBackendTest, ChoiceFallsBackToXTestThenToNoneWithOneSentence) {
  char buffer[1024] = {};
  std::FILE* complaints = fmemopen(buffer, sizeof buffer - 1, "w");
  ASSERT_NE(complaints, nullptr);
  const std::string display = server_.DisplayName();
  EXPECT_STREQ(ChooseKeyBackendFrom("/nonexistent/uinput", display.c_str(), complaints)->Name(), "xtest");
  EXPECT_STREQ(ChooseKeyBackendFrom("/nonexistent/uinput", nullptr, complaints)->Name(), "none");
  std::fclose(complaints);
  EXPECT_STREQ(buffer,
               "strokerelayd: no keys can be injected: /nonexistent/uinput cannot be opened (no such file or "
               "directory) and DISPLAY is not set; install the udev rule and load the uinput module as the "
               "README's Permissions section describes, or run strokerelayd in an X11 session.\n");
}

// With a display named, what failed there is said, and an X11 session is no advice.
TEST_F(XTestKeyBackendTest, WithADisplayThatFailsTheSentenceSaysWhatFailedThere) {
  char buffer[1024] = {};
  std::FILE* complaints = fmemopen(buffer, sizeof buffer - 1, "w");
  ASSERT_NE(complaints, nullptr);
  EXPECT_STREQ(ChooseKeyBackendFrom("/nonexistent/uinput", ":9999", complaints)->Name(), "none");
  std::fclose(complaints);
  const std::string said = buffer;
  EXPECT_TRUE(
      said.starts_with("strokerelayd: no keys can be injected: /nonexistent/uinput cannot be opened "
                       "(no such file or directory) and "))
      << said;
  EXPECT_NE(said.find(":9999"), std::string::npos) << said;
  EXPECT_TRUE(said.ends_with("README's Permissions section describes.\n")) << said;
  EXPECT_EQ(said.find("X11 session"), std::string::npos) << said;
}

}  // namespace
}  // namespace srd
