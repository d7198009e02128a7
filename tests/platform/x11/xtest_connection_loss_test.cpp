#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "platform/keys/key_sink.h"
#include "platform/layout/receiver_layout.h"
#include "platform/x11/device_repeat.h"
#include "platform/x11/layout_watcher.h"
#include "platform/x11/xtest_key_backend.h"
#include "support/wait_until.h"
#include "support/x_server_layout.h"
#include "xtest_fixture.h"

// Kept apart from the other XTest tests: libX11 unlocks its display lock once too often on the path that
// reports a lost connection to a returning exit handler, which ThreadSanitizer reports.

namespace srd {
namespace {

TEST_F(XTestKeyBackendTest, LostServerIsSurvivedAndReconnected) {
  XTestOptions options;
  options.reconnectInterval = std::chrono::milliseconds(0);
  auto backend = MakeBackend(options);
  ASSERT_NE(backend, nullptr);
  backend->Inject(0x41, 0, KEYEVENT_PRESS, 11);
  EXPECT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{38, true}}));

  const int number = server_.DisplayNumber();
  observer_.reset();
  server_.Stop();
  // The process must outlive the lost connection; the held key went with the server.
  for (int i = 0; i < 3; ++i) {
    backend->Inject(0x44, 0, KEYEVENT_PRESS, 11);
    backend->Inject(0x44, 0, KEYEVENT_KEYUP, 11);
  }
  EXPECT_EQ(backend->HeldCount(), 0u);

  ASSERT_TRUE(server_.Start(number));
  observer_ = std::make_unique<KeyObserver>(server_.DisplayName());
  ASSERT_TRUE(observer_->Ready());
  backend->Inject(0x45, 0, KEYEVENT_PRESS, 11);
  backend->Inject(0x45, 0, KEYEVENT_KEYUP, 11);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{26, true}, {26, false}}));

  // The new server's XTest repeat is off while the backend is connected, and back on when it goes.
  EXPECT_FALSE(XDeviceRepeat::RepeatEnabled(observer_->Connection(), XDeviceRepeat::kXTestKeyboard));
  backend.reset();
  EXPECT_TRUE(XDeviceRepeat::RepeatEnabled(observer_->Connection(), XDeviceRepeat::kXTestKeyboard));
}

// The server replaced by one with another layout on the same display: the first key after the reconnect is
// typed for the new server's layout, since the layout watch is made again with the connection.
TEST_F(XTestKeyBackendTest, AReplacedServerIsTypedForWithItsOwnLayout) {
  XTestOptions options;
  options.reconnectInterval = std::chrono::milliseconds(0);
  auto backend = MakeBackend(options);
  ASSERT_NE(backend, nullptr);
  backend->FollowLayout(ReceiverLayout::Start(server_.DisplayName().c_str(), WatchXLayout));
  backend->Inject('Y', 0, KEYEVENT_PRESS, 11);
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 11);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{29, true}, {29, false}}));

  const int number = server_.DisplayNumber();
  observer_.reset();
  server_.Stop();
  backend->Inject('Y', 0, KEYEVENT_PRESS, 11);  // finds the connection gone
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 11);
  ASSERT_TRUE(server_.Start(number));
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "de"));
  observer_ = std::make_unique<KeyObserver>(server_.DisplayName());
  ASSERT_TRUE(observer_->Ready());
  backend->Inject('Y', 0, KEYEVENT_PRESS, 11);
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 11);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{52, true}, {52, false}}));
  EXPECT_EQ(backend->Layout().Name().Text(), "de");
  // And the new watch follows the new server's changes.
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "fr"));
  EXPECT_TRUE(test::WaitUntil([&] { return backend->Layout().Name().Text() == "fr"; }));
  backend.reset();
  EXPECT_TRUE(observer_->KeysDown().empty());
}

}  // namespace
}  // namespace srd
