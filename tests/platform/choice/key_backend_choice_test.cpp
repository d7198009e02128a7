// The key sink's choice in a Wayland session whose compositor has no route of its own for typing (weston),
// through the Wayland module as the program loads it: the line for no keys names everything tried. And the
// start-up line of a route: the way keys go, with the layout.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/choice/key_backend_choice.h"
#include "platform/choice/receiver_layout_choice.h"
#include "support/layout_lines.h"
#include "support/scoped_temp_dir.h"
#include "support/weston_server.h"

namespace srd {
namespace {

TEST(KeyBackendChoice, WithNoRouteInAWaylandSessionTheLineNamesEachOneTried) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("us"));
  // No session bus: neither named nor in the runtime directory.
  test::ScopedTempDir runtime;
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  test::LayoutLines lines;
  const auto backend =
      ChooseKeyBackendFrom("/nonexistent/uinput", nullptr, lines.File(), {}, weston.WaylandDisplay().c_str());
  EXPECT_STREQ(backend->Name(), "none");
  EXPECT_EQ(lines.Text(),
            "strokerelayd: no keys can be injected: /nonexistent/uinput cannot be opened (no such file or "
            "directory), "
            "the compositor offers no virtual keyboard, there is no session bus and DISPLAY is not set; "
            "install the udev rule and load the uinput module as the README's Permissions section describes, "
            "or run strokerelayd in an X11 session.\n");
}

TEST(KeyBackendChoice, TheFirstLayoutLineSaysWhichWayKeysAreTyped) {
  test::WestonServer weston;
  ASSERT_TRUE(weston.Start("de,us"));
  test::LayoutLines lines;
  const auto layout = StartReceiverLayout(nullptr, weston.WaylandDisplay().c_str(), lines.File(),
                                          "the compositor's virtual keyboard (sway)");
  EXPECT_EQ(lines.Text(),
            "strokerelayd: typing through the compositor's virtual keyboard (sway), keyboard layout de "
            "(compositor keymap, its first of 2 layouts: no desktop here says which is active)\n");
}

}  // namespace
}  // namespace srd
