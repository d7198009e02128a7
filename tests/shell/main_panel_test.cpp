#include "shell/main_panel.h"

#include <unistd.h>

#include "../support/loopback.h"
#include "../support/wait_until.h"
#include "net/local_addresses.h"
#include "shell_fixture.h"

namespace srd {
namespace {

class MainPanelTest : public ShellFixture {
 protected:
  void SetUp() override {
    ShellFixture::SetUp();
    main_ = OpenMain();
    ASSERT_NE(main_, nullptr);
    panel_ = CreateDialogIndirectParam(ShellResources(), ShellResources()->FindDialog(IDD_MAIN_PANEL), main_,
                                       MainPanel, 0);
    ASSERT_NE(panel_, nullptr);
    Shell().mainPanel = panel_;
  }
  std::u16string PortLabel() { return GetWindowText(GetDlgItem(panel_, PANEL_PORT_LABEL)); }
  // Commands that end the program only post the close request: the loop handles it later.
  bool CloseIsQueued() {
    Msg msg;
    while (PeekMessage(&msg) != 0) {
      if (msg.window == main_ && msg.message == WM_CLOSE) {
        return IsWindow(main_);
      }
    }
    return false;
  }

  std::u16string Line(int id) { return GetWindowText(GetDlgItem(panel_, id)); }
  // Runs the interface thread's part until done() holds: what the worker posted is handled here.
  bool PumpUntil(const std::function<bool()>& done) {
    return test::WaitUntil(
        [&] {
          Msg msg;
          while (PeekMessage(&msg) != 0) {
            DispatchMessage(&msg);
          }
          return done();
        },
        std::chrono::seconds(20));
  }

  Window* main_ = nullptr;
  Window* panel_ = nullptr;
};

// The worker cannot bind its port: the panel says so in its own line, which port and why, until a retry
// binds it; the Port label goes on showing the port as stored.
TEST_F(MainPanelTest, TheListeningLineShowsAPortThatCannotBeOpenedUntilItIsBound) {
  EXPECT_EQ(Line(PANEL_LISTENING_LABEL), u"");
  const std::int32_t port = test::FindFreeUdpPort();
  auto holder = std::make_unique<test::UdpSocket>();
  ASSERT_TRUE(holder->Bind(port));
  state_.port = port;
  ConnectWorkerReports(state_, main_);
  ASSERT_EQ(StartReceiver(state_), 1);
  const std::string port8 = std::to_string(port);
  const std::u16string port16(port8.begin(), port8.end());
  const std::u16string expected = u"Port " + port16 + u" を開けません: ほかのプログラムが使用中です";
  ASSERT_TRUE(PumpUntil([&] { return Line(PANEL_LISTENING_LABEL) == expected; })) << port;
  RefreshPanelLabels(panel_);
  EXPECT_EQ(PortLabel(), u"Port= " + port16);
  EXPECT_EQ(Line(PANEL_LISTENING_LABEL), expected);

  holder.reset();
  EXPECT_TRUE(PumpUntil([&] { return Line(PANEL_LISTENING_LABEL).empty(); }));
  state_.worker->Stop();
}

// Beside the host name: the addresses a sender can use, the first two, loopback left out.
TEST_F(MainPanelTest, TheAddressLineShowsTheFirstAddresses) {
  std::u16string expected;
  const std::vector<std::string> addresses = LocalSenderAddresses();
  for (std::size_t i = 0; i < addresses.size() && i < PANEL_ADDRESSES_SHOWN; ++i) {
    expected += (i == 0 ? u"" : u" ") + std::u16string(addresses[i].begin(), addresses[i].end());
  }
  EXPECT_EQ(Line(PANEL_ADDRESS_LABEL), expected);
  EXPECT_EQ(Line(PANEL_ADDRESS_LABEL).find(u"127."), std::u16string::npos);
  // A change the worker heard of is shown when its message arrives.
  SetWindowText(GetDlgItem(panel_, PANEL_ADDRESS_LABEL), u"stale");
  PostMessage(main_, WM_ADDRESSES_CHANGED, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return Line(PANEL_ADDRESS_LABEL) == expected; }));
}

TEST_F(MainPanelTest, LabelsShowThePortUncheckedAndTheHostName) {
  EXPECT_EQ(PortLabel(), u"Port= 8102");
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  const std::string host(name);
  EXPECT_EQ(GetWindowText(GetDlgItem(panel_, PANEL_HOST_LABEL)),
            u"Host= " + std::u16string(host.begin(), host.end()));
  EXPECT_EQ(panel_->shellDialogFlags, 9u);
  state_.port = -5;
  RefreshPanelLabels(panel_);
  EXPECT_EQ(PortLabel(), u"Port= -5");
}

TEST_F(MainPanelTest, PanelAndMenuCommandTables) {
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, MakeWParam(PANEL_HIDE_BUTTON, BN_CLICKED), 0), 0);
  EXPECT_TRUE(main_->minimized);
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, MakeWParam(PANEL_EXIT_BUTTON, BN_CLICKED), 0), 1);
  EXPECT_TRUE(CloseIsQueued());
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, MakeWParam(PANEL_TEST_EDIT, EN_CHANGE), 0), 1);
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, CMD_ABOUT, 0), 1);
  EXPECT_EQ(MainPanel(panel_, WM_PAINT, 0, 0), 0);
  EXPECT_EQ(MainPanel(panel_, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(panel_));

  ShowWindow(main_, SW_RESTORE);
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, CMD_HIDE, 0), 0);
  EXPECT_TRUE(main_->minimized);
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, CMD_EXIT, 0), 0);
  EXPECT_TRUE(CloseIsQueued());
  // About ignores everything but command 1.
  backend_->SetModalHook([](Window* about) {
    EXPECT_EQ(about->dialogTemplate->id, IDD_ABOUT);
    PostMessage(about, WM_COMMAND, IDCANCEL, 0);
    PostMessage(about, WM_CLOSE, 0, 0);
    PostMessage(about, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, CMD_ABOUT, 0), 0);
  // Any other command goes to the default processing, which does nothing with it.
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, 12345, 0), 0);
  EXPECT_TRUE(IsWindow(main_));
}

TEST_F(MainPanelTest, PanelSettingsRefreshesTheLabelsTheMenuSettingsDoesNot) {
  ScriptModal(u"9000", IDOK);
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, CMD_SETTINGS, 0), 0);
  EXPECT_EQ(state_.port.load(), 9000);
  EXPECT_EQ(PortLabel(), u"Port= 8102");

  // Cancelled from the panel: nothing changes, but the label now shows the stored port.
  ScriptModal(u"1234", IDCANCEL);
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, MakeWParam(PANEL_SETTINGS_BUTTON, BN_CLICKED), 0), 0);
  EXPECT_EQ(state_.port.load(), 9000);
  EXPECT_EQ(PortLabel(), u"Port= 9000");

  ScriptModal(u"7777", IDOK);
  EXPECT_EQ(MainPanel(panel_, WM_COMMAND, MakeWParam(PANEL_SETTINGS_BUTTON, BN_CLICKED), 0), 0);
  EXPECT_EQ(PortLabel(), u"Port= 7777");
  EXPECT_TRUE(main_->enabled);
}

TEST_F(MainPanelTest, MainWindowMessagesAndCommandOneClosingAtOnce) {
  for (const std::uint32_t message : {WM_ACTIVATE, WM_PAINT, WM_SETTINGCHANGE, WM_SIZE, WM_KEYDOWN}) {
    EXPECT_EQ(MainWindowProc(main_, message, message == WM_KEYDOWN ? 0x41 : 0, 0), 0) << message;
    EXPECT_TRUE(IsWindow(main_)) << message;
  }
  EXPECT_EQ(Shell().activation.size, 12u);

  Window* bar = Shell().menuBar;
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(MainWindowProc(main_, WM_COMMAND, IDOK, 0), 0);
  // Handled before the call returned: the window, its bar and the panel are gone, and quit 0 is pending.
  EXPECT_FALSE(IsWindow(main_));
  EXPECT_FALSE(IsWindow(bar));
  EXPECT_FALSE(IsWindow(panel_));
  Msg msg;
  EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
}  // namespace srd
