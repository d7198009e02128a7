#include "shell/settings_dialog.h"

#include <climits>

#include "shell/about_dialog.h"
#include "shell_fixture.h"

namespace srd {
namespace {

TEST(ParsePortTextTest, ReadsLikeTheWideDecimalConversion) {
  const struct {
    const char16_t* text;
    std::int32_t value;
  } cases[] = {
      {u"\t\n+77", 77},
      {u"- 5", 0},
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

  // OK with the number unchanged still asks for a rebind.
  EXPECT_EQ(SettingsDialog(dialog, WM_COMMAND, MakeWParam(IDOK, BN_CLICKED), 0), 1);
  EXPECT_EQ(dialog->dialogResult, IDOK);
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), WORKER_PORT_CHANGE);
}

// Command 1 without a button's notification code is what the caption's Done button delivers. A port in range
// is stored as it converts and always asks for a rebind; an entry without one keeps the dialog open, says why
// under the edit box, and changes nothing until the entry is edited again.
TEST_F(SettingsDialogTest, DoneStoresAPortInRangeAndRefusesAnythingElseInTheDialog) {
  ASSERT_NE(OpenMain(), nullptr);
  const struct {
    const char16_t* text;
    std::int32_t port;  // 0: refused
  } cases[] = {
      {u"9000", 9000},
      {u" 123abc", 123},
      {u"65535", 65535},
      // Only 30 characters are read: the 31st digit is never seen.
      {u"000000000000000000000000000001"
       u"5",
       1},
      {u"", 0},
      {u"abc", 0},
      {u"0", 0},
      {u"-5", 0},
      {u"65536", 0},
      {u"70000", 0},
  };
  for (const auto& c : cases) {
    state_.port = 8102;
    state_.worker->ClearFlags(WORKER_PORT_CHANGE);
    Window* dialog = OpenSettings();
    Window* message = GetDlgItem(dialog, SETTINGS_PORT_MESSAGE);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(GetWindowText(message), u"");
    NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), c.text);
    EXPECT_EQ(SettingsDialog(dialog, WM_COMMAND, IDOK, 0), 1);
    const std::size_t size = std::u16string(c.text).size();
    if (c.port != 0) {
      EXPECT_TRUE(dialog->dialogEnded) << size;
      EXPECT_EQ(state_.port.load(), c.port) << size;
      EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), WORKER_PORT_CHANGE);
    } else {
      EXPECT_FALSE(dialog->dialogEnded) << size;
      EXPECT_EQ(state_.port.load(), 8102) << size;
      EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), 0u);
      EXPECT_EQ(GetWindowText(message), u"1～65535 の Port 番号を入力してください");
      SettingsDialog(dialog, WM_COMMAND, MakeWParam(SETTINGS_PORT_EDIT, EN_CHANGE), 0);
      EXPECT_EQ(GetWindowText(message), u"");
    }
    DestroyWindow(dialog);
  }
}

TEST_F(SettingsDialogTest, ModalCancelChangesNothingAndOkEndsWithItsId) {
  ASSERT_NE(OpenMain(), nullptr);
  const DialogTemplate* t = ShellResources()->FindDialog(IDD_SETTINGS);
  ScriptModal(u"4444", IDCANCEL);
  EXPECT_EQ(DialogBoxIndirectParam(ShellResources(), t, Shell().mainWindow, SettingsDialog, 0), IDCANCEL);
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), 0u);

  ScriptModal(u"5555", IDOK);
  EXPECT_EQ(DialogBoxIndirectParam(ShellResources(), t, Shell().mainWindow, SettingsDialog, 0), IDOK);
  EXPECT_EQ(state_.port.load(), 5555);
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
  EXPECT_EQ(about->dialogResult, 1);
}

TEST(ShellResourcesTest, IconPicturesAreCompleteAndThereIsNoAcceleratorTable) {
  const IconResource* icon = ShellResources()->FindIcon(IDI_STROKERELAYD);
  ASSERT_NE(icon, nullptr);
  ASSERT_EQ(icon->images.size(), 2u);
  for (const IconImage& image : icon->images) {
    EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width * image.height));
  }
  EXPECT_EQ(LoadAccelerators(ShellResources(), IDR_ACCELERATORS), nullptr);
}

}  // namespace
}  // namespace srd
