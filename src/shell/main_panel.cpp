#include "shell/main_panel.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "shell/about_dialog.h"
#include "shell/settings_dialog.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"

namespace srd {
namespace {

constexpr std::uint32_t PANEL_INIT_FLAGS = SHIDIF_DONEBUTTON | SHIDIF_SIPDOWN;  // 9
constexpr std::size_t HOST_BUFFER_BYTES = 256;
constexpr std::size_t HOST_UNITS = 255;        // converted name with its terminator
constexpr std::size_t PORT_LABEL_UNITS = 32;   // "Port= %d" with its terminator
constexpr std::size_t HOST_LABEL_UNITS = 320;  // "Host= %s" with its terminator

LResult RunModal(int templateId, DialogProc proc) {
  const Instance instance = Shell().moduleInstance;
  const DialogTemplate* dialogTemplate = instance != nullptr ? instance->FindDialog(templateId) : nullptr;
  return DialogBoxIndirectParam(instance, dialogTemplate, Shell().mainWindow, proc, 0);
}

}  // namespace

std::u16string DeviceHostName() {
  char name[HOST_BUFFER_BYTES] = {};
  if (gethostname(name, sizeof name) != 0) {
    return {};
  }
  name[sizeof name - 1] = '\0';  // a truncated name need not be terminated
  // The locale's multibyte encoding to UTF-16.
  std::u16string out;
  std::mbstate_t state{};
  const char* p = name;
  std::size_t left = std::strlen(name);
  while (left > 0) {
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, p, left, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
      return {};  // not text in this locale's encoding
    }
    const auto code = static_cast<std::uint32_t>(wide);
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    p += n;
    left -= n;
  }
  if (out.size() + 1 > HOST_UNITS) {
    return {};
  }
  return out;
}

void RefreshPanelLabels(Window* panel) {
  if (Window* port = GetDlgItem(panel, PANEL_PORT_LABEL)) {
    std::u16string text = u"Port= " + StoredPortText();
    text.resize(std::min(text.size(), PORT_LABEL_UNITS - 1));
    SetWindowText(port, text);
  }
  if (Window* host = GetDlgItem(panel, PANEL_HOST_LABEL)) {
    std::u16string text = u"Host= " + DeviceHostName();
    text.resize(std::min(text.size(), HOST_LABEL_UNITS - 1));
    SetWindowText(host, text);
  }
}

LResult MainPanel(Window* panel, std::uint32_t message, WParam wParam, LParam lParam) {
  (void)lParam;
  if (message == WM_INITDIALOG) {
    const ShellDialogInit init{SHIDIM_FLAGS, panel, PANEL_INIT_FLAGS};
    ShellInitDialog(&init);
    RefreshPanelLabels(panel);
    return 1;
  }
  if (message != WM_COMMAND) {
    return 0;
  }
  switch (LoWord(wParam)) {
    case PANEL_HIDE_BUTTON:
      ShowWindow(Shell().mainWindow, SW_MINIMIZE);
      return 0;
    case PANEL_EXIT_BUTTON:
      PostMessage(Shell().mainWindow, WM_CLOSE, 0, 0);
      return 1;
    case PANEL_SETTINGS_BUTTON:
      RunModal(IDD_SETTINGS, SettingsDialog);
      // Whatever the dialog's result: the labels show the stored port.
      RefreshPanelLabels(panel);
      return 0;
    default:  // the test box's notifications among them
      return 1;
  }
}

LResult MainWindowCommand(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  Window* main = Shell().mainWindow;
  switch (LoWord(wParam)) {
    case IDOK:
      SendMessage(main, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LParam>(main));
      SendMessage(main, WM_CLOSE, 0, 0);
      return 0;
    case CMD_ABOUT:
      RunModal(IDD_ABOUT, AboutDialog);
      return 0;
    case CMD_EXIT:
      PostMessage(main, WM_CLOSE, 0, 0);
      return 0;
    case CMD_HIDE:
      ShowWindow(main, SW_MINIMIZE);
      return 0;
    case CMD_SETTINGS:
      // Unlike the panel's button, the labels are left as they are: they show the new port only after the
      // panel's Settings button was used.
      RunModal(IDD_SETTINGS, SettingsDialog);
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace srd
