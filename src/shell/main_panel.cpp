#include "shell/main_panel.h"

#include <algorithm>
#include <string>
#include <vector>

#include "net/local_addresses.h"
#include "net/port_refusal.h"
#include "platform/sys/unicode_text.h"
#include "receiver/receiver_worker.h"
#include "shell/about_dialog.h"
#include "shell/settings_dialog.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"

namespace srd {
namespace {

constexpr std::uint32_t PANEL_INIT_FLAGS = SHIDIF_DONEBUTTON | SHIDIF_SIPDOWN;  // 9
constexpr std::size_t HOST_UNITS = 255;        // converted name with its terminator
constexpr std::size_t PORT_LABEL_UNITS = 32;   // "Port= %d" with its terminator
constexpr std::size_t HOST_LABEL_UNITS = 320;  // "Host= %s" with its terminator

std::u16string DecimalText(std::int32_t value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

// The reasons of the listening line, as the window's texts go.
const char16_t* RefusalText(PortRefusal refusal) {
  switch (refusal) {
    case PortRefusal::InUse:
      return u"ほかのプログラムが使用中です";  // in use by another program
    case PortRefusal::NeedsRoot:
      return u"1024 未満は root 権限が必要です";  // needs root below 1024
    case PortRefusal::NotPermitted:
      return u"許可されていません";  // not permitted
    case PortRefusal::NotAvailable:
      return u"このマシンでは使えません";  // not available on this machine
    case PortRefusal::NoRoom:
      return u"ソケットを作れません";  // the system has no room for another socket
    case PortRefusal::NetworkDown:
      return u"ネットワークが停止しています";  // the network is down
    case PortRefusal::Other:
      break;
  }
  return u"システムに拒否されました";  // refused by the system
}

LResult RunModal(int templateId, DialogProc proc) {
  const Instance instance = Shell().moduleInstance;
  const DialogTemplate* dialogTemplate = instance != nullptr ? instance->FindDialog(templateId) : nullptr;
  return DialogBoxIndirectParam(instance, dialogTemplate, Shell().mainWindow, proc, 0);
}

}  // namespace

std::u16string DeviceHostName() {
  std::u16string out;
  if (!LocaleTextToUtf16(ReadHostName(), &out) || out.size() + 1 > HOST_UNITS) {
    return {};  // no name, not text in this locale's encoding, or too long for the label
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
  RefreshAddressLine(panel);
  RefreshListeningLine(panel);
}

std::u16string ListeningLineText() {
  const ReceiverState* state = Shell().state;
  if (state == nullptr || !state->worker || state->worker->TestFlags(WORKER_NOT_LISTENING) == 0) {
    return {};
  }
  // Read after the flag: the worker wrote both before it set it.
  const std::int32_t port = state->openFailurePort.load(std::memory_order_relaxed);
  const PortRefusal refusal = ClassifyPortRefusal(state->openFailure.load(std::memory_order_relaxed), port);
  // "Port N cannot be opened: <reason>", in the windows' language: the pattern and the reason each on its
  // own.
  std::u16string text = InterfaceText(u"Port %1 を開けません: %2");
  const std::u16string reason = InterfaceText(RefusalText(refusal));
  if (const std::size_t at = text.find(u"%1"); at != std::u16string::npos) {
    text.replace(at, 2, DecimalText(port));
  }
  if (const std::size_t at = text.find(u"%2"); at != std::u16string::npos) {
    text.replace(at, 2, reason);
  }
  return text;
}

void RefreshListeningLine(Window* panel) {
  if (Window* line = GetDlgItem(panel, PANEL_LISTENING_LABEL)) {
    SetWindowText(line, ListeningLineText());
  }
}

void RefreshAddressLine(Window* panel) {
  if (Window* line = GetDlgItem(panel, PANEL_ADDRESS_LABEL)) {
    std::u16string text;
    const std::vector<std::string> addresses = LocalSenderAddresses();
    for (std::size_t i = 0; i < addresses.size() && i < PANEL_ADDRESSES_SHOWN; ++i) {
      if (!text.empty()) {
        text += u' ';
      }
      text.append(addresses[i].begin(), addresses[i].end());
    }
    SetWindowText(line, text);
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
