// Where the receiver's layout comes from in a Wayland session, through the Wayland module as the program
// loads it: the compositor's keymap, or when the compositor cannot be asked, the system's configuration with
// a line that says why.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/choice/receiver_layout_choice.h"
#include "platform/layout/system_layout.h"
#include "support/layout_lines.h"
#include "support/weston_server.h"

namespace srd {
namespace {

TEST(ReceiverLayoutChoice, AWaylandSessionTakesTheCompositorsKeymapThroughTheModule) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("jp"));
  test::LayoutLines lines;
  const auto layout =
      StartReceiverLayout(weston.XDisplayName().c_str(), weston.WaylandDisplay().c_str(), lines.File());
  EXPECT_TRUE(layout->FollowsDisplay());
  EXPECT_EQ(layout->Current().Name().Text(), "jp");
  EXPECT_EQ(lines.Text(), "strokerelayd: typing for keyboard layout jp (compositor keymap)\n");
}

TEST(ReceiverLayoutChoice, WithoutACompositorTheSystemsLayoutIsUsedAndTheLineSaysWhy) {
  test::LayoutLines lines;
  const auto layout = StartReceiverLayout(nullptr, "/nonexistent/wayland-0", lines.File());
  EXPECT_FALSE(layout->FollowsDisplay());
  EXPECT_EQ(layout->Current().Name(), SystemLayoutName());
  EXPECT_EQ(lines.Text(), "strokerelayd: typing for keyboard layout " + SystemLayoutName().Text() +
                              " (the system's keyboard configuration: no Wayland compositor answers at "
                              "/nonexistent/wayland-0)\n");
}

}  // namespace
}  // namespace srd
