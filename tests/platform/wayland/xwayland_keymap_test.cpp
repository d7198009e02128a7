// The XTest sink in a Wayland session: keys go into XWayland, which reads them with the XTest device's
// keymap. While the backend lives that device carries the compositor's keymap, so every main-block code types
// in X windows what the compositor's layout has on its key; afterwards the device's own keymap is back.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/layout/layout_keymap.h"
#include "platform/layout/receiver_layout.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "platform/x11/layout_watcher.h"
#include "platform/x11/xtest_key_backend.h"
#include "support/key_observer.h"
#include "support/wait_until.h"
#include "support/weston_server.h"

namespace srd {
namespace {

constexpr int kBracketKeycode = 34;  // AD11: "[" on US, "ü" on German

class XWaylandKeymapTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(weston_.Start(GetParam(), "", "fr"));
    observer_ = std::make_unique<KeyObserver>(weston_.XDisplayName());
    ASSERT_TRUE(observer_->Ready());
  }
  std::unique_ptr<XTestKeyBackend> MakeBackend() {
    XTestOptions options;
    options.displayName = weston_.XDisplayName();
    options.waylandSession = true;
    std::string whyNot;
    auto backend = XTestKeyBackend::Create(options, &whyNot);
    EXPECT_NE(backend, nullptr) << whyNot;
    if (backend != nullptr) {
      backend->FollowLayout(ReceiverLayout::Start(
          weston_.WaylandDisplay().c_str(), [](const std::string& name, LayoutChanged f) {
            std::string ignored;
            return std::unique_ptr<LayoutWatch>(
                WaylandLayoutWatch::Start(name, std::move(f), {}, nullptr, &ignored));
          }));
    }
    return backend;
  }

  test::WestonServer weston_;
  std::unique_ptr<KeyObserver> observer_;
};

TEST_P(XWaylandKeymapTest, EveryMainBlockCodeTypesTheCompositorLayoutsCharacter) {
  const std::string layoutName = GetParam();
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  const KeyboardLayout& layout = backend->Layout();
  ASSERT_EQ(layout.Name().Text(), layoutName);
  const auto keymap = LayoutKeymap::Compile(layout.Name());
  ASSERT_NE(keymap, nullptr);

  std::vector<KeyEvent> expected;
  for (std::uint16_t key : LayoutDependentKeys()) {
    const std::uint8_t code = layout.VirtualKeyAt(key);
    if (code == 0 || keymap->Keysym(key, 0) == 0) {
      continue;
    }
    expected.push_back({key + 8, true});
    expected.push_back({key + 8, false});
    backend->Inject(code, 0, KEYEVENT_PRESS, 0);
    backend->Inject(code, 0, KEYEVENT_KEYUP, 0);
  }
  EXPECT_GE(expected.size(), 2 * 47u);
  ASSERT_EQ(observer_->Take(expected.size()), expected);
  // What X clients read now: the keymap of the device the keys came through.
  for (std::size_t i = 0; i < expected.size(); i += 2) {
    const int keycode = expected[i].first;
    EXPECT_EQ(observer_->KeysymOf(keycode), keymap->Keysym(static_cast<std::uint16_t>(keycode - 8), 0))
        << "keycode " << keycode;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, XWaylandKeymapTest, ::testing::Values("de", "jp", "fr"));

class XWaylandDeviceTest : public XWaylandKeymapTest {};

// The XTest device's own keymap is back when the backend goes, and XWayland's rule names ("us" there,
// whatever the compositor's layout) are not taken for the layout.
TEST_P(XWaylandDeviceTest, TheXTestDevicesKeymapIsPutBackAndTheRuleNamesAreNotBelieved) {
  EXPECT_EQ(WatchXLayout(weston_.XDisplayName(), [](const LayoutName&) {}), nullptr);
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->Inject(0xBA, 0, KEYEVENT_PRESS, 0);  // Ü on German: AD11
  backend->Inject(0xBA, 0, KEYEVENT_KEYUP, 0);
  ASSERT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kBracketKeycode, true}, {kBracketKeycode, false}}));
  EXPECT_EQ(observer_->KeysymOf(kBracketKeycode), 0xFCu);  // udiaeresis
  backend.reset();
  // The core keyboard shows the keymap of the device that typed last: the XTest device's own again.
  EXPECT_EQ(observer_->KeysymOf(kBracketKeycode), 0x5Bu);  // bracketleft
}

// The compositor's keymap changes while keys are typed: the XTest device follows it.
TEST_P(XWaylandDeviceTest, TheXTestDeviceFollowsANewKeymap) {
  constexpr int kQKeycode = 24;  // AD01: q on QWERTZ, a on AZERTY
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->Inject('Q', 0, KEYEVENT_PRESS, 0);
  backend->Inject('Q', 0, KEYEVENT_KEYUP, 0);
  ASSERT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kQKeycode, true}, {kQKeycode, false}}));
  EXPECT_EQ(observer_->KeysymOf(kQKeycode), static_cast<unsigned long>('q'));
  weston_.SwitchKeymap();
  EXPECT_TRUE(
      test::WaitUntil([&] { return backend->Layout().Name().Text() == "fr"; }, std::chrono::seconds(10)));
  EXPECT_TRUE(
      test::WaitUntil([&] { return observer_->KeysymOf(kQKeycode) == 'a'; }, std::chrono::seconds(10)));
  backend->Inject('A', 0, KEYEVENT_PRESS, 0);
  backend->Inject('A', 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{kQKeycode, true}, {kQKeycode, false}}));
}

INSTANTIATE_TEST_SUITE_P(German, XWaylandDeviceTest, ::testing::Values("de"));

}  // namespace
}  // namespace srd
