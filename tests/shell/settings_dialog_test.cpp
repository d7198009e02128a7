#include "shell/settings_dialog.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <utility>

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

// Command 1 without a button's notification code is what the caption's Done button delivers. A number in
// range, with blanks around it at most, is stored and always asks for a rebind; anything else keeps the
// dialog open, says why under the edit box, and changes nothing until the entry is edited again.
TEST_F(SettingsDialogTest, DoneStoresAPortInRangeAndRefusesAnythingElseInTheDialog) {
  ASSERT_NE(OpenMain(), nullptr);
  const struct {
    const char16_t* text;
    std::int32_t port;  // 0: refused
  } cases[] = {
      {u"9000", 9000},
      {u" \t9100  ", 9100},
      {u"065535", 65535},
      // Only 30 characters are read: the 31st digit is never seen.
      {u"000000000000000000000000000001"
       u"5",
       1},
      {u"", 0},
      {u"   ", 0},
      {u"abc", 0},
      {u" 123abc", 0},
      {u"12ab34", 0},
      {u"9100x", 0},
      {u"8102.5", 0},
      {u"91 00", 0},
      {u"+9000", 0},
      {u"\uFF19000", 0},  // a full-width digit is not a digit here
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

// A port below 1024 is refused in the dialog when this program may not bind it, taken when it may.
TEST_F(SettingsDialogTest, APrivilegedPortIsRefusedOnlyWhenItCannotBeBound) {
  std::FILE* limit = std::fopen("/proc/sys/net/ipv4/ip_unprivileged_port_start", "r");
  int firstUnprivileged = 1024;
  if (limit != nullptr) {
    if (std::fscanf(limit, "%d", &firstUnprivileged) != 1) {
      firstUnprivileged = 1024;
    }
    std::fclose(limit);
  }
  if (firstUnprivileged <= 80) {
    GTEST_SKIP() << "this system lets anyone bind port 80";
  }
  ASSERT_NE(OpenMain(), nullptr);
  const bool root = geteuid() == 0;
  auto tryPort = [&](bool asRoot) {
    Window* dialog = CreateDialogIndirectParam(ShellResources(), ShellResources()->FindDialog(IDD_SETTINGS),
                                               Shell().mainWindow, SettingsDialog, 0);
    NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), u"80");
    // Without root's rights for the length of the OK (no other thread runs here).
    if (!asRoot && root) {
      EXPECT_EQ(seteuid(65534), 0);
    }
    SettingsDialog(dialog, WM_COMMAND, IDOK, 0);
    if (!asRoot && root) {
      EXPECT_EQ(seteuid(0), 0);
    }
    const std::u16string said = GetWindowText(GetDlgItem(dialog, SETTINGS_PORT_MESSAGE));
    const bool ended = dialog->dialogEnded;
    DestroyWindow(dialog);
    return std::make_pair(ended, said);
  };
  state_.port = 8102;
  const auto refused = tryPort(false);
  EXPECT_FALSE(refused.first);
  EXPECT_EQ(refused.second, u"1024 未満の Port には root 権限が必要です");
  EXPECT_EQ(state_.port.load(), 8102);
  EXPECT_EQ(state_.worker->TestFlags(WORKER_PORT_CHANGE), 0u);
  if (root) {
    const auto taken = tryPort(true);
    EXPECT_TRUE(taken.first);
    EXPECT_EQ(state_.port.load(), 80);
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
