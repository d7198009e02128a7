#include "shell/about_dialog.h"

namespace srd {

LResult AboutDialog(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam) {
  (void)lParam;
  if (message == WM_INITDIALOG) {
    const ShellDialogInit init{SHIDIM_FLAGS, dialog,
                               SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    ShellInitDialog(&init);
    return 1;
  }
  if (message == WM_COMMAND && LoWord(wParam) == IDOK) {
    EndDialog(dialog, IDOK);
    return 1;
  }
  return 0;
}

}  // namespace srd
