// The layout of a Wayland session from a real compositor's keymap: weston, headless, with the keymap its
// configuration names.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/layout/receiver_layout.h"
#include "platform/wayland/wayland_layout_watch.h"
#include "support/layout_lines.h"
#include "support/wait_until.h"
#include "support/weston_server.h"

namespace srd {
namespace {

// The layout the watch decides, as the receiver would use it, without any desktop to ask.
std::unique_ptr<ReceiverLayout> FollowCompositor(
    const test::WestonServer& weston, const test::LayoutLines& lines,
    const std::vector<DesktopLayoutSourceFactory>& desktops = {}) {
  return ReceiverLayout::Start(
      weston.WaylandDisplay().c_str(), [&](const std::string& name, LayoutChanged f) {
        std::string whyNot;
        return std::unique_ptr<LayoutWatch>(
            WaylandLayoutWatch::Start(name, std::move(f), desktops, lines.File(), &whyNot));
      });
}

struct KeymapCase {
  const char* layouts;
  const char* decided;
  const char* line;
};

void PrintTo(const KeymapCase& c, std::ostream* out) {
  *out << c.layouts;
}

class CompositorLayoutTest : public ::testing::TestWithParam<KeymapCase> {};

TEST_P(CompositorLayoutTest, TheCompositorsKeymapDecides) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start(GetParam().layouts));
  test::LayoutLines lines;
  const auto layout = FollowCompositor(weston, lines);
  ASSERT_TRUE(layout->FollowsDisplay());
  EXPECT_EQ(layout->Current().Name().Text(), GetParam().decided);
  EXPECT_EQ(lines.Text(), std::string("strokerelayd: typing for keyboard layout ") + GetParam().line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Keymaps, CompositorLayoutTest,
    ::testing::Values(KeymapCase{"de", "de", "de (compositor keymap)"},
                      KeymapCase{"jp", "jp", "jp (compositor keymap)"},
                      KeymapCase{"fr", "fr", "fr (compositor keymap)"},
                      // No table of its own: the family rule of its keymap.
                      KeymapCase{"ch", "ch", "ch (compositor keymap)"},
                      KeymapCase{
                          "us,de", "us",
                          "us (compositor keymap, its first of 2 layouts: no desktop here says which is "
                          "active)"}),
    [](const ::testing::TestParamInfo<KeymapCase>& test) {
      std::string name = test.param.layouts;
      std::replace(name.begin(), name.end(), ',', '_');
      return name;
    });

// A variant keeps its own name: the keymap's description of it is found among the variants.
TEST(CompositorLayout, AVariantIsFoundByItsDescription) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("de", "nodeadkeys"));
  test::LayoutLines lines;
  const auto layout = FollowCompositor(weston, lines);
  EXPECT_EQ(layout->Current().Name().Text(), "de:nodeadkeys");
  EXPECT_EQ(layout->Current().Rule(), LayoutRule::kNamedTable);
}

// The user changes the keyboard settings while the watch runs: the compositor's new keymap is followed.
TEST(CompositorLayout, ANewKeymapIsFollowed) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("de", "", "fr"));
  test::LayoutLines lines;
  const auto layout = FollowCompositor(weston, lines);
  EXPECT_EQ(layout->Current().Name().Text(), "de");
  weston.SwitchKeymap();
  EXPECT_TRUE(test::WaitUntil(
      [&] { return lines.Has("strokerelayd: typing for keyboard layout fr (compositor keymap)"); },
      std::chrono::seconds(10)));
  EXPECT_EQ(layout->Current().Name().Text(), "fr");
}

// A desktop that says which layout is active overrides the first one, and its switches are followed.
TEST(CompositorLayout, TheDesktopsActiveLayoutIsFollowed) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("us,de"));
  test::LayoutLines lines;
  std::mutex mutex;
  ActiveLayoutChanged report;
  struct Source : DesktopLayoutSource {};
  const auto desktop = [&](ActiveLayoutChanged onChange, int, DesktopMiss*) {
    onChange(ActiveLayout{1, {}, "test desktop layout"});
    std::lock_guard lock(mutex);
    report = std::move(onChange);
    return std::unique_ptr<DesktopLayoutSource>(new Source);
  };
  const auto layout = FollowCompositor(weston, lines, {desktop});
  EXPECT_EQ(layout->Current().Name().Text(), "de");
  EXPECT_TRUE(lines.Has(
      "strokerelayd: typing for keyboard layout de (compositor keymap, test desktop layout 2 of 2)"));
  {
    std::lock_guard lock(mutex);
    report(ActiveLayout{std::nullopt, LayoutName{"us", ""}, "test desktop's source 1"});
  }
  EXPECT_EQ(layout->Current().Name().Text(), "us");
  EXPECT_TRUE(
      lines.Has("strokerelayd: typing for keyboard layout us (compositor keymap, test desktop's source 1)"));
}

// Each reason to fall back comes back quickly with a reason.
TEST(CompositorLayout, NoCompositorIsToldWithoutWaiting) {
  test::LayoutLines lines;
  std::string whyNot;
  EXPECT_EQ(WaylandLayoutWatch::Start(
                "/nonexistent/wayland-socket", [](const LayoutName&) {}, {}, lines.File(), &whyNot),
            nullptr);
  EXPECT_EQ(whyNot, "no Wayland compositor answers at /nonexistent/wayland-socket");
  EXPECT_EQ(lines.Text(), "");
}

}  // namespace
}  // namespace srd
