#include "shell/settings_dialog.h"

#include <climits>
#include <string>

#include "net/port_refusal.h"
#include "receiver/receiver_worker.h"
#include "shell/shell_values.h"

namespace srd {
namespace {

constexpr std::uint32_t SETTINGS_INIT_FLAGS =
    SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;  // 13

bool IsWideSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// What the dialog says, in its own line, when OK finds no port in the entry.
// "Enter a port number from 1 to 65535"
constexpr char16_t kPortRangeMessage[] = u"1～65535 の Port 番号を入力してください";
// ... and when the entry names a port below 1024 that this program is not allowed to bind.
// "Ports below 1024 need root"
constexpr char16_t kPrivilegedPortMessage[] = u"1024 未満の Port には root 権限が必要です";

constexpr std::int32_t kWsaEAcces = 10013;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Stores the entry's port and asks the worker to move to it. Returns the message that keeps the dialog open,
// with nothing changed, when the entry holds no port (a number past 16 bits would silently become another
// port), or a port below 1024 that the program may not bind; nullptr when it was taken.
const char16_t* ApplyEntry(Window* dialog) {
  Window* edit = GetDlgItem(dialog, SETTINGS_PORT_EDIT);
  if (edit == nullptr) {
    return nullptr;
  }
  char16_t text[SETTINGS_TEXT_UNITS] = {};
  GetWindowText(edit, text, SETTINGS_TEXT_LIMIT);
  const std::optional<std::int32_t> entry = PortEntryValue(text);
  if (!entry) {
    return kPortRangeMessage;
  }
  const std::int32_t port = *entry;
  // Only the lack of privilege is refused here: a port in use may be freed later, and the worker keeps trying
  // (the panel says so meanwhile).
  if (port < FIRST_UNPRIVILEGED_PORT && TryPortBind(port) == kWsaEAcces) {
    return kPrivilegedPortMessage;
  }
  ReceiverState* state = Shell().state;
  if (state == nullptr) {
    return nullptr;
  }
  state->port.store(port, std::memory_order_relaxed);
  if (state->worker) {
    state->worker->SetFlags(WORKER_PORT_CHANGE);
  }
  return nullptr;
}

void SayWhy(Window* dialog, const char16_t* message) {
  if (Window* label = GetDlgItem(dialog, SETTINGS_PORT_MESSAGE)) {
    SetWindowText(label, message);
  }
}

}  // namespace

std::int32_t ParsePortText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsWideSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  long long value = 0;  // magnitude, held at the first value past the 32-bit range
  constexpr long long kLimit = static_cast<long long>(INT32_MAX) + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit) {
      value = kLimit;
    }
  }
  if (negative) {
    return static_cast<std::int32_t>(-value);  // -2^31 at most
  }
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> PortEntryValue(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  if (begin == end) {
    return std::nullopt;
  }
  std::int32_t value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < u'0' || text[i] > u'9') {
      return std::nullopt;
    }
    value = value * 10 + (text[i] - u'0');
    if (value > 65535) {
      return std::nullopt;  // and no later digit can bring it back
    }
  }
  if (value < 1 || value > 65535) {
    return std::nullopt;
  }
  return value;
}

LResult SettingsDialog(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG: {
      const ShellDialogInit init{SHIDIM_FLAGS, dialog, SETTINGS_INIT_FLAGS};
      ShellInitDialog(&init);
      if (Window* edit = GetDlgItem(dialog, SETTINGS_PORT_EDIT)) {
        SetWindowText(edit, StoredPortText());
      }
      return 1;
    }
    case WM_COMMAND:
      switch (LoWord(wParam)) {
        case IDOK:  // the OK button, and the Done button of the caption
          if (const char16_t* refusal = ApplyEntry(dialog)) {
            SayWhy(dialog, refusal);
            return 1;
          }
          EndDialog(dialog, IDOK);
          return 1;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return 1;
        case SETTINGS_PORT_EDIT:
          // Once the user edits the entry again, the refusal no longer speaks of what is there.
          if (HiWord(wParam) == EN_CHANGE) {
            SayWhy(dialog, u"");
          }
          return 0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

}  // namespace srd
