#include "shell/shell_main.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "net/datagram_endpoint.h"
#include "platform/sys/signals.h"
#include "shell/main_panel.h"
#include "shell_fixture.h"

#include "../support/udp_port.h"

namespace srd {
namespace {

using ShellMainTest = ShellFixture;

TEST_F(ShellMainTest, WithAMenuBarTheWindowIsMovedToItsEdgeCoordinates) {
  backend_->SetDefaultWindowRect(Rect{0, 26, 240, 320});
  Window* main = OpenMain();
  ASSERT_NE(main, nullptr);
  ASSERT_NE(Shell().menuBar, nullptr);
  // x 0, y 26, width 240, height 294.
  EXPECT_EQ(main->rect, (Rect{0, 26, 240, 320}));
  EXPECT_EQ(main->text, u"strokerelayd");
  EXPECT_EQ(main->className, u"strokeRELAYd");
  EXPECT_TRUE(main->visible);
}

TEST_F(ShellMainTest, TheMoveUsesEdgesNotSizesAndWithoutABarTheWindowStaysPut) {
  backend_->SetDefaultWindowRect(Rect{10, 40, 250, 330});
  Window* main = OpenMain();
  ASSERT_NE(main, nullptr);
  // x 10, y 40, width 250 (the right edge), height 330 - 26.
  EXPECT_EQ(main->rect, (Rect{10, 40, 260, 344}));
  DestroyWindow(main);

  Shell() = ShellValues{};
  backend_->SetMenuBarsAvailable(false);
  main = OpenMain();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Shell().menuBar, nullptr);
  EXPECT_EQ(main->rect, (Rect{10, 40, 250, 330}));
}

TEST_F(ShellMainTest, ARunningMainWindowIsBroughtForwardAndNothingIsCreated) {
  Window* main = OpenMain();
  ASSERT_NE(main, nullptr);
  ShowWindow(main, SW_MINIMIZE);
  EXPECT_EQ(OpenMainWindow(ShellResources(), SW_SHOWNORMAL), 0);
  EXPECT_FALSE(main->minimized);
  EXPECT_EQ(backend_->LastBroughtToFront(), main);
}

TEST_F(ShellMainTest, StartUpAndShutdownOrder) {
  if (!test::UdpPortIsFree(8102)) {
    GTEST_SKIP() << "UDP port 8102 is in use by another program";
  }
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
    // Everything is running while a dialog is open.
    seen.push_back("settings");
    EXPECT_NE(Shell().state, nullptr);
    EXPECT_NE(Shell().state->worker, nullptr);
    // The worker binds on its own thread: give it up to 10 s.
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
  EXPECT_EQ(Shell().state, nullptr);
  EXPECT_EQ(SocketsStartCount(), 0);
  EXPECT_TRUE(test::UdpPortIsFree(8102));
  EXPECT_EQ(FindWindow(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE), nullptr);
}

TEST_F(ShellMainTest, AStopSignalWhileADialogIsOpenRunsTheNormalShutdown) {
  if (!test::UdpPortIsFree(8102)) {
    GTEST_SKIP() << "UDP port 8102 is in use by another program";
  }
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
  EXPECT_EQ(Shell().state, nullptr);
  EXPECT_EQ(SocketsStartCount(), 0);
  EXPECT_TRUE(test::UdpPortIsFree(8102));
  EXPECT_TRUE(UnblockStopSignals());
}

}  // namespace
}  // namespace srd
