#include "shell/shell_main.h"

#include <signal.h>
#include <unistd.h>

#include <vector>

#include "net/datagram_endpoint.h"
#include "platform/sys/signals.h"
#include "shell/main_panel.h"
#include "shell_fixture.h"

#include "../support/udp_port.h"

namespace srd {
namespace {

using OpenMainWindowTest = ShellFixture;

// Runs the whole program, which binds UDP 8102.
class ShellMainTest : public ShellFixture {
 protected:
  void SetUp() override {
    ShellFixture::SetUp();
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
  }
  // After the program ended: nothing of it is left running.
  static void ExpectAllGone() {
    EXPECT_EQ(Shell().state, nullptr);
    EXPECT_EQ(SocketsStartCount(), 0);
    EXPECT_TRUE(test::UdpPortIsFree(8102));
    EXPECT_EQ(FindWindow(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE), nullptr);
  }
};

// The window is moved to (x, y, width, height - bar) of its default rectangle: edges passed as sizes.
TEST_F(OpenMainWindowTest, TheMoveUsesEdgesNotSizesAndWithoutABarTheWindowStaysPut) {
  const struct {
    Rect placed;
    bool menuBars;
    Rect expected;
  } cases[] = {
      {Rect{0, 26, 240, 320}, true, Rect{0, 26, 240, 320}},
      {Rect{10, 40, 250, 330}, true, Rect{10, 40, 260, 344}},
      {Rect{10, 40, 250, 330}, false, Rect{10, 40, 250, 330}},
  };
  for (const auto& c : cases) {
    Shell() = ShellValues{};
    backend_->SetDefaultWindowRect(c.placed);
    backend_->SetMenuBarsAvailable(c.menuBars);
    Window* main = OpenMain();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Shell().menuBar != nullptr, c.menuBars);
    EXPECT_EQ(main->rect, c.expected) << c.placed.left << " bar " << c.menuBars;
    EXPECT_EQ(main->text, u"strokerelayd");
    EXPECT_EQ(main->className, u"strokeRELAYd");
    EXPECT_TRUE(main->visible);
    DestroyWindow(main);
  }
}

TEST_F(OpenMainWindowTest, ARunningMainWindowIsBroughtForwardAndNothingIsCreated) {
  Window* main = OpenMain();
  ASSERT_NE(main, nullptr);
  ShowWindow(main, SW_MINIMIZE);
  EXPECT_EQ(OpenMainWindow(ShellResources(), SW_SHOWNORMAL), 0);
  EXPECT_FALSE(main->minimized);
  EXPECT_EQ(backend_->LastBroughtToFront(), main);
}

TEST_F(ShellMainTest, StartUpAndShutdownOrder) {
  std::vector<std::string> seen;
  SetShellOpenedHook([&] {
    // The window is open; the state, the socket start, the panel and the worker do not exist yet.
    seen.push_back("opened");
    EXPECT_NE(Shell().mainWindow, nullptr);
    EXPECT_EQ(Shell().state, nullptr);
    EXPECT_EQ(Shell().mainPanel, nullptr);
    EXPECT_EQ(SocketsStartCount(), 0);
    PostMessage(Shell().mainWindow, WM_COMMAND, CMD_SETTINGS, 0);
  });
  backend_->SetModalHook([&](Window* dialog) {
    // Everything is running while a dialog is open; the worker binds on its own thread.
    seen.push_back("settings");
    ASSERT_NE(Shell().state, nullptr);
    EXPECT_NE(Shell().state->worker, nullptr);
    for (int i = 0; i < 1000 && test::UdpPortIsFree(8102); ++i) {
      usleep(10000);
    }
    EXPECT_FALSE(test::UdpPortIsFree(8102));
    EXPECT_EQ(GetWindowText(GetDlgItem(Shell().mainPanel, PANEL_PORT_LABEL)), u"Port= 8102");
    PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessage(Shell().mainWindow, WM_COMMAND, CMD_EXIT, 0);
  });
  EXPECT_EQ(ShellMain(ShellResources(), nullptr, u"ignored", SW_SHOWNORMAL), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"opened", "settings"}));
  ExpectAllGone();
}

TEST_F(ShellMainTest, AStopSignalWhileADialogIsOpenRunsTheNormalShutdown) {
  ASSERT_TRUE(BlockStopSignals());
  ASSERT_TRUE(CloseWindowsOnStopSignals());
  SetShellOpenedHook([] { PostMessage(Shell().mainWindow, WM_COMMAND, CMD_ABOUT, 0); });
  int modalRuns = 0;
  backend_->SetModalHook([&](Window*) {
    ++modalRuns;
    raise(SIGTERM);  // read from the signalfd by the dialog's own loop
  });
  EXPECT_EQ(ShellMain(ShellResources(), nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_EQ(modalRuns, 1);
  ExpectAllGone();
  EXPECT_TRUE(UnblockStopSignals());
}

}  // namespace
}  // namespace srd
