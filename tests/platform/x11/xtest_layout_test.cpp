#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/receiver_layout.h"
#include "platform/x11/layout_watcher.h"
#include "support/scoped_temp_dir.h"
#include "support/wait_until.h"
#include "support/x_server_layout.h"
#include "xtest_fixture.h"

namespace srd {
namespace {

constexpr unsigned long kDeadCircumflex = 0xFE52;

struct LayoutCase {
  const char* layout;
  // Characters the layout's Windows chart puts on a code's key (keysym of the plain level, Latin-1 keysyms
  // are their code points): an independent check of the table on the real server keymap.
  std::vector<std::pair<std::uint8_t, unsigned long>> plainCharacters;
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
  *out << c.layout;
}

class XTestLayoutTest : public XTestKeyBackendTest, public ::testing::WithParamInterface<LayoutCase> {};

// Every code of the main block, with the server set to the layout: it arrives as the key the layout gives
// it, that key types something there, and each letter code types its letter.
TEST_P(XTestLayoutTest, EveryMainBlockCodeArrivesAsTheLayoutsKey) {
  const LayoutCase& param = GetParam();
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), param.layout));
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->FollowLayout(ReceiverLayout::Start(server_.DisplayName().c_str(), WatchXLayout));
  const KeyboardLayout& layout = backend->Layout();
  ASSERT_EQ(layout.Name().Text(), param.layout);

  std::vector<std::uint8_t> codes;
  std::vector<KeyEvent> expected;
  for (std::uint16_t key : LayoutDependentKeys()) {
    const std::uint8_t code = layout.VirtualKeyAt(key);
    if (code == 0 || (key == 89 && std::string(param.layout) != "jp")) {
      continue;  // no code there, or the Ro key of Japanese keyboards that this layout has no use for
    }
    codes.push_back(code);
    expected.push_back({key + 8, true});
    expected.push_back({key + 8, false});
    backend->Inject(code, 0, KEYEVENT_PRESS, 0);
    backend->Inject(code, 0, KEYEVENT_KEYUP, 0);
  }
  EXPECT_GE(codes.size(), 47u);
  ASSERT_EQ(observer_->Take(expected.size()), expected);
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const unsigned long keysym = observer_->KeysymOf(expected[2 * i].first);
    EXPECT_NE(keysym, 0u) << "code 0x" << std::hex << int{codes[i]};
    if (codes[i] >= 'A' && codes[i] <= 'Z') {
      EXPECT_EQ(keysym, static_cast<unsigned long>(codes[i] - 'A' + 'a')) << static_cast<char>(codes[i]);
    }
  }
  for (const auto& [code, keysym] : param.plainCharacters) {
    EXPECT_EQ(observer_->KeysymOf(layout.LinuxKeyCode(code) + 8), keysym)
        << "code 0x" << std::hex << int{code};
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, XTestLayoutTest,
    ::testing::Values(
        LayoutCase{"us", {{0xC0, '`'}, {0xBA, ';'}, {0xDE, '\''}, {0xDB, '['}, {0xE2, '<'}}},
        LayoutCase{"gb", {{0xC0, '\''}, {0xDE, '#'}, {0xDC, '\\'}, {0xDF, '`'}}},
        LayoutCase{
            "jp",
            {{0xC0, '@'}, {0xBA, ':'}, {0xBB, ';'}, {0xDB, '['}, {0xDD, ']'}, {0xDE, '^'}, {0xE2, '\\'}}},
        LayoutCase{"de",
                   {{0xC0, 0xF6},
                    {0xDE, 0xE4},
                    {0xBA, 0xFC},
                    {0xDB, 0xDF},
                    {0xBB, '+'},
                    {0xBF, '#'},
                    {0xBD, '-'},
                    {0xDC, kDeadCircumflex}}},
        LayoutCase{"fr",
                   {{0xDF, '!'},
                    {0xC0, 0xF9},
                    {0xBA, '$'},
                    {0xBC, ','},
                    {0xBE, ';'},
                    {0xBF, ':'},
                    {0xDD, kDeadCircumflex},
                    {0xDE, 0xB2},
                    {0x32, 0xE9}}},
        LayoutCase{"es", {{0xC0, 0xF1}, {0xBF, 0xE7}, {0xBB, '+'}, {0xBD, '-'}, {0xDB, '\''}, {0xDD, 0xA1}}},
        LayoutCase{"it",
                   {{0xC0, 0xF2}, {0xDE, 0xE0}, {0xBA, 0xE8}, {0xBF, 0xF9}, {0xDD, 0xEC}, {0xDC, '\\'}}},
        // No table of its own: QWERTZ letters by the family rule.
        LayoutCase{"ch", {{'Y', 'y'}, {'Z', 'z'}}}),
    [](const ::testing::TestParamInfo<LayoutCase>& test) { return std::string(test.param.layout); });

// A server whose keycodes are not the evdev ones is searched by key name for the main block: the keycode
// found is the key in the same place, whatever the layout types there.
TEST_F(XTestKeyBackendTest, ServersWithOtherKeycodesFindMainBlockKeysByPosition) {
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "fr"));
  XTestOptions byName;
  byName.lookUpByKeysym = true;
  auto evdev = MakeBackend();
  auto named = MakeBackend(byName);
  ASSERT_TRUE(evdev != nullptr && named != nullptr);
  for (std::uint16_t key : LayoutDependentKeys()) {
    EXPECT_EQ(named->XKeycodeFor(key), evdev->XKeycodeFor(key)) << "key " << key;
  }
}

// The receiver follows the display: a new keymap, then a change of the active group.
TEST_F(XTestKeyBackendTest, AChangeOfLayoutWhileRunningIsFollowed) {
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->FollowLayout(ReceiverLayout::Start(server_.DisplayName().c_str(), WatchXLayout));
  EXPECT_EQ(backend->Layout().Name().Text(), "us");
  backend->Inject('Y', 0, KEYEVENT_PRESS, 0);
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{29, true}, {29, false}}));

  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "de,fr"));
  EXPECT_TRUE(test::WaitUntil([&] { return backend->Layout().Name().Text() == "de"; }));
  backend->Inject('Y', 0, KEYEVENT_PRESS, 0);  // the key labelled Y on a German keyboard: evdev KEY_Z
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{52, true}, {52, false}}));

  Display* display = XOpenDisplay(server_.DisplayName().c_str());
  ASSERT_NE(display, nullptr);
  XkbLockGroup(display, XkbUseCoreKbd, 1);
  XSync(display, False);
  XCloseDisplay(display);
  EXPECT_TRUE(test::WaitUntil([&] { return backend->Layout().Name().Text() == "fr"; }));
  backend->Inject('A', 0, KEYEVENT_PRESS, 0);  // AZERTY: the key where QWERTY has Q
  backend->Inject('A', 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(observer_->Take(2), (std::vector<KeyEvent>{{24, true}, {24, false}}));
}

// A key held while the display's layout changes is let go where it was pressed: the release of Y after a
// change to de releases X keycode 29 (us Y), not 52 (de Y), and nothing stays down.
TEST_F(XTestKeyBackendTest, AKeyHeldAcrossALayoutChangeIsReleasedWhereItWasPressed) {
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->FollowLayout(ReceiverLayout::Start(server_.DisplayName().c_str(), WatchXLayout));
  backend->Inject('Y', 0, KEYEVENT_PRESS, 0);
  EXPECT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{29, true}}));
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "de"));
  ASSERT_TRUE(test::WaitUntil([&] { return backend->Layout().Name().Text() == "de"; }));
  backend->Inject('Y', 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(observer_->Take(1), (std::vector<KeyEvent>{{29, false}}));
  EXPECT_TRUE(observer_->KeysDown().empty());
  EXPECT_EQ(backend->HeldCount(), 0u);
  backend.reset();
  EXPECT_TRUE(observer_->TakeFor(std::chrono::milliseconds(200)).empty()) << "a second release at the end";
  EXPECT_TRUE(observer_->KeysDown().empty());
}

// Any client of the display can set its rule names: a layout that names a path (here to a FIFO, which would
// hold whoever opens it) is taken for us, and nothing opens the file, so the watch's thread still ends.
TEST_F(XTestKeyBackendTest, RuleNamesThatNameAPathAreNoLayoutAndOpenNothing) {
  test::ScopedTempDir dir;
  const std::string fifo = dir.Path() + "/f";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(test::SetServerLayout(server_.DisplayName(), "de"));
  auto backend = MakeBackend();
  ASSERT_NE(backend, nullptr);
  backend->FollowLayout(ReceiverLayout::Start(server_.DisplayName().c_str(), WatchXLayout));
  ASSERT_EQ(backend->Layout().Name().Text(), "de");

  Display* display = XOpenDisplay(server_.DisplayName().c_str());
  ASSERT_NE(display, nullptr);
  const std::string names =
      std::string("evdev") + '\0' + "pc105" + '\0' + "../../../../../../../.." + fifo + '\0' + '\0' + '\0';
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_XKB_RULES_NAMES", False),
                  XA_STRING, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(names.data()),
                  static_cast<int>(names.size()));
  XSync(display, False);
  XCloseDisplay(display);
  EXPECT_TRUE(test::WaitUntil([&] { return backend->Layout().Name().Text() == "us"; }));

  std::packaged_task<void()> stop([&] { backend.reset(); });
  std::future<void> stopped = stop.get_future();
  std::thread stopper(std::move(stop));
  const bool ended = stopped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!ended) {
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go, so the test can end
  }
  stopper.join();
  EXPECT_TRUE(ended) << "the layout watch's thread was held by the file";
}

}  // namespace
}  // namespace srd
