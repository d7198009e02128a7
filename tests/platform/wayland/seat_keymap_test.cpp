// The seat's keymap from a compositor of the tests' own: a seat whose keyboard comes only after start (the
// program's own uinput keyboard being added, or one plugged in later), and keymap files that hold fewer bytes
// than their event says.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/layout/receiver_layout.h"
#include "platform/layout/system_layout.h"
#include "platform/wayland/compositor_keymap.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "support/fake_compositor.h"
#include "support/layout_lines.h"
#include "support/wait_until.h"

namespace srd {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<ReceiverLayout> Follow(const std::string& socket, const test::LayoutLines& lines) {
  return ReceiverLayout::Start(socket.c_str(), [&](const std::string& name, LayoutChanged f) {
    std::string whyNot;
    return std::unique_ptr<LayoutWatch>(
        WaylandLayoutWatch::Start(name, std::move(f), {}, lines.File(), &whyNot));
  });
}

TEST(SeatKeymap, AKeyboardThatComesLaterBringsTheCompositorsLayout) {
  test::FakeCompositor compositor;
  test::LayoutLines lines;
  const auto started = test::Clock::now();
  const auto layout = Follow(compositor.SocketPath(), lines);
  EXPECT_LT(test::Clock::now() - started, 2s);
  ASSERT_TRUE(layout->FollowsDisplay());
  const std::string system = SystemLayoutName().Text();
  EXPECT_EQ(lines.Text(),
            "strokerelayd: typing for keyboard layout " + system +
                " (the system's keyboard configuration: the compositor's seat has no keyboard)\n");
  EXPECT_EQ(layout->Current().Name().Text(), system);

  compositor.AddKeyboard(test::KeymapTextOf("de"));
  EXPECT_TRUE(test::WaitUntil(
      [&] { return lines.Has("strokerelayd: typing for keyboard layout de (compositor keymap)"); }, 10s));
  EXPECT_EQ(layout->Current().Name().Text(), "de");
}

// A compositor busy past the start's limit (adding this very keyboard to a seat that had none): the start
// does not wait for it, and its keymap is taken when it answers.
TEST(SeatKeymap, ACompositorThatAnswersAfterTheStartIsFollowedWhenItDoes) {
  test::FakeCompositor compositor;
  compositor.AddKeyboard(test::KeymapTextOf("de"));
  compositor.Stall();
  test::LayoutLines lines;
  const auto started = test::Clock::now();
  const auto layout = Follow(compositor.SocketPath(), lines);
  EXPECT_LT(test::Clock::now() - started, 3s);
  ASSERT_TRUE(layout->FollowsDisplay());
  const std::string system = SystemLayoutName().Text();
  EXPECT_EQ(lines.Text(),
            "strokerelayd: typing for keyboard layout " + system +
                " (the system's keyboard configuration: the compositor has not answered yet)\n");

  compositor.Resume();
  EXPECT_TRUE(test::WaitUntil(
      [&] { return lines.Has("strokerelayd: typing for keyboard layout de (compositor keymap)"); }, 10s));
  EXPECT_EQ(layout->Current().Name().Text(), "de");
}

// A keymap event stating more bytes than its file holds: the text the file holds is read, and the process
// lives (a mapping of the stated size would fault past the file's end).
TEST(SeatKeymap, AKeymapFileShorterThanItsSizeIsReadForWhatItHolds) {
  test::FakeCompositor compositor;
  compositor.AddKeyboard(test::KeymapTextOf("fr"), 4 << 20);
  test::LayoutLines lines;
  const auto layout = Follow(compositor.SocketPath(), lines);
  EXPECT_EQ(lines.Text(), "strokerelayd: typing for keyboard layout fr (compositor keymap)\n");
  EXPECT_EQ(layout->Current().Name().Text(), "fr");
}

TEST(SeatKeymap, AKeymapFileIsReadForAtMostItsBytesAndItsSize) {
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  ASSERT_EQ(write(fd, "xkb_keymap {}", 13), 13);
  EXPECT_EQ(ReadKeymapFile(fd, 1u << 30, 1u << 31), "xkb_keymap {}");  // the file is shorter
  EXPECT_EQ(ReadKeymapFile(fd, 4, 1u << 31), "xkb_");                  // the stated size is shorter
  EXPECT_EQ(ReadKeymapFile(fd, 1u << 30, 1u << 20), "");               // above any keymap
  close(fd);
}

}  // namespace
}  // namespace srd
