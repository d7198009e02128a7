#include "shell/settings_dialog.h"

#include <climits>

#include "shell/about_dialog.h"
#include "shell/main_panel.h"
#include "shell_fixture.h"

namespace srd {

DialogProc ShellFixture::MainPanelForTest() {
  return MainPanel;
}

void ShellFixture::ScriptModal(const char16_t* text, int command) {
  backend_->SetModalHook([text, command](Window* dialog) {
    if (text != nullptr) {
      NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), text);
    }
    PostMessage(dialog, WM_COMMAND, MakeWParam(static_cast<std::uint32_t>(command), BN_CLICKED), 0);
  });
}

bool ShellFixture::CloseIsQueuedFor(Window* window) {
  Msg msg;
  while (PeekMessage(&msg) != 0) {
    if (msg.window == window && msg.message == WM_CLOSE) {
      return true;
    }
  }
  return false;
}

namespace {

TEST(ParsePortTextTest, ReadsLikeTheWideDecimalConversion) {
  const struct {
    const char16_t* text;
    std::int32_t value;
  } cases[] = {
      {u"8102", 8102},
      {u"", 0},
      {u"abc", 0},
      {u" 123abc", 123},
      {u"\t\n+77", 77},
      {u"-5", -5},
      {u"- 5", 0},
      {u"70000", 70000},
      {u"2147483647", INT32_MAX},
      {u"2147483648", INT32_MAX},
      {u"-2147483648", INT32_MIN},
      {u"-99999999999999999999", INT32_MIN},
      {u"99999999999999999999999999999", INT32_MAX},
      {u"\u3000"
       u"12",
       0},             // only the C locale's white space is skipped
      {u"\uFF11", 0},  // full-width digits are not decimal digits here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParsePortText(c.text), c.value) << std::u16string(c.text).size();
  }
}

class SettingsDialogTest : public ShellFixture {
 protected:
  Window* OpenSettings() {
    return CreateDialogIndirectParam(ShellResources(), ShellResources()->FindDialog(IDD_SETTINGS),
                                     Shell().mainWindow, SettingsDialog, 0);
  }
};

TEST_F(SettingsDialogTest, HandlerTable) {
  ASSERT_NE(OpenMain(), nullptr);
  Window* dialog = OpenSettings();
  ASSERT_NE(dialog, nullptr);
  // Initialisation: Done button, full screen, input panel down; the current port in the edit box.
  EXPECT_EQ(dialog->shellDialogFlags, 13u);
  EXPECT_EQ(GetWindowText(GetDlgItem(dialog, SETTINGS_PORT_EDIT)), u"8102");
  EXPECT_EQ(SettingsDialog(dialog, WM_INITDIALOG, 0, 0), 1);

  EXPECT_EQ(SettingsDialog(dialog, WM_COMMAND, 3, 0), 0);
  EXPECT_EQ(SettingsDialog(dialog, WM_PAINT, 0, 0), 0);
  EXPECT_FALSE(dialog->dialogEnded);

  EXPECT_EQ(SettingsDialog(dialog, WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0), 1);
  EXPECT_TRUE(dialog->dialogEnded);
  EXPECT_EQ(dialog->dialogResult, IDCANCEL);
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), 0u);

  // OK with the number unchanged still asks for a rebind.
  EXPECT_EQ(SettingsDialog(dialog, WM_COMMAND, MakeWParam(IDOK, BN_CLICKED), 0), 1);
  EXPECT_EQ(dialog->dialogResult, IDOK);
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), WORKER_PORT_CHANGE);
}

TEST_F(SettingsDialogTest, OkStoresTheEntryAsItConvertsWithoutARangeCheck) {
  ASSERT_NE(OpenMain(), nullptr);
  const struct {
    const char16_t* text;
    std::int32_t port;
  } cases[] = {
      {u"9000", 9000},
      {u"", 0},
      {u"abc", 0},
      {u" 123abc", 123},
      {u"-5", -5},
      {u"70000", 70000},
      // Only 30 characters are read: the 31st digit is never seen.
      {u"000000000000000000000000000001"
       u"5",
       1},
  };
  for (const auto& c : cases) {
    state_.port = 8102;
    state_.worker->ClearFlags(WORKER_PORT_CHANGE);
    Window* dialog = OpenSettings();
    NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), c.text);
    SettingsDialog(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(state_.port.load(), c.port) << std::u16string(c.text).size();
    EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), WORKER_PORT_CHANGE);
    DestroyWindow(dialog);
  }
}

TEST_F(SettingsDialogTest, ModalRunsDoneActsAsOkAndCancelChangesNothing) {
  ASSERT_NE(OpenMain(), nullptr);
  const DialogTemplate* t = ShellResources()->FindDialog(IDD_SETTINGS);

  ScriptModal(u"4444", IDCANCEL);
  EXPECT_EQ(DialogBoxIndirectParam(ShellResources(), t, Shell().mainWindow, SettingsDialog, 0), IDCANCEL);
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), 0u);

  // The caption's Done button delivers command 1 without a notification code of a button.
  backend_->SetModalHook([](Window* dialog) {
    NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), u"5555");
    EXPECT_NE(dialog->shellDialogFlags & SHIDIF_DONEBUTTON, 0u);
    PostMessage(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(DialogBoxIndirectParam(ShellResources(), t, Shell().mainWindow, SettingsDialog, 0), IDOK);
  EXPECT_EQ(state_.port.load(), 5555);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), WORKER_PORT_CHANGE);
}

TEST_F(SettingsDialogTest, AboutEndsOnlyWithCommandOne) {
  ASSERT_NE(OpenMain(), nullptr);
  Window* about = CreateDialogIndirectParam(ShellResources(), ShellResources()->FindDialog(IDD_ABOUT),
                                            Shell().mainWindow, AboutDialog, 0);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->shellDialogFlags, 13u);
  EXPECT_EQ(AboutDialog(about, WM_COMMAND, IDCANCEL, 0), 0);
  EXPECT_EQ(AboutDialog(about, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(about->dialogEnded);
  EXPECT_EQ(AboutDialog(about, WM_COMMAND, IDOK, 0), 1);
  EXPECT_TRUE(about->dialogEnded);
  EXPECT_EQ(about->dialogResult, 1);
  EXPECT_EQ(state_.port.load(), 8102);
}

TEST(ShellResourcesTest, TemplatesCarryTheirStylesAndIds) {
  const Instance r = ShellResources();
  const struct {
    int dialog;
    int control;
    std::uint32_t style;
  } cases[] = {
      {IDD_MAIN_PANEL, PANEL_TEST_EDIT, 0x50a11084},  {IDD_MAIN_PANEL, PANEL_EXIT_BUTTON, 0x50010000},
      {IDD_MAIN_PANEL, PANEL_PORT_LABEL, 0x50020000}, {IDD_SETTINGS, IDOK, 0x50010001},
      {IDD_SETTINGS, IDCANCEL, 0x50010000},           {IDD_SETTINGS, SETTINGS_PORT_EDIT, 0x50810080},
  };
  for (const auto& c : cases) {
    const DialogTemplate* d = r->FindDialog(c.dialog);
    ASSERT_NE(d, nullptr);
    const auto it = std::find_if(d->controls.begin(), d->controls.end(),
                                 [&](const ControlTemplate& t) { return t.id == c.control; });
    ASSERT_NE(it, d->controls.end()) << c.control;
    EXPECT_EQ(it->style, c.style) << c.control;
  }
  EXPECT_EQ(r->FindDialog(IDD_MAIN_PANEL)->style, 0x40000040u);
  EXPECT_EQ(r->FindDialog(IDD_SETTINGS)->style, 0x80000040u);
  EXPECT_EQ(r->FindDialog(IDD_ABOUT)->exStyle, 0x80000000u);
  EXPECT_EQ(r->FindDialog(IDD_ABOUT)->controls[0].style, 0x50000003u);
  EXPECT_EQ(r->FindDialog(IDD_ABOUT)->controls[1].style, 0x50020080u);
  EXPECT_EQ(r->FindDialog(IDD_MAIN_PANEL)->controls.size(), 9u);
  const IconResource* icon = r->FindIcon(IDI_STROKERELAYD);
  ASSERT_NE(icon, nullptr);
  ASSERT_EQ(icon->images.size(), 2u);
  for (const IconImage& image : icon->images) {
    EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width * image.height));
  }
  EXPECT_EQ(icon->images[0].width, 32);
  EXPECT_EQ(icon->images[1].height, 16);
  EXPECT_EQ(LoadAccelerators(r, IDR_ACCELERATORS), nullptr);
}

}  // namespace
}  // namespace srd
