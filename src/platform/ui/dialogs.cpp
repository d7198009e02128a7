#include <algorithm>
#include <cmath>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// Dialogs from templates: modeless ones, and modal ones with their nested message loop.

namespace srd {

using namespace layer;

namespace {

// Dialog base units for converting template positions to pixels (9 pt Japanese gothic at 96 dpi).
constexpr int kBaseUnitX = 7;
constexpr int kBaseUnitY = 13;

int DluToPixelsX(int dlu) {
  return static_cast<int>(std::lround(dlu * kBaseUnitX / 4.0));
}
int DluToPixelsY(int dlu) {
  return static_cast<int>(std::lround(dlu * kBaseUnitY / 8.0));
}

LayerWindow* MakeDialog(Instance instance, const DialogTemplate* dialogTemplate, Window* parentOrOwner,
                        DialogProc proc, bool modal) {
  if (g_layer == nullptr || dialogTemplate == nullptr) {
    return nullptr;
  }
  auto dialog = NewWindow(WindowKind::Dialog, u"Dialog", dialogTemplate->caption, instance);
  dialog->style = dialogTemplate->style;
  dialog->exStyle = dialogTemplate->exStyle;
  dialog->id = ID_NONE;
  dialog->dialogTemplate = dialogTemplate;
  dialog->dialogProc = proc;
  dialog->modal = modal;
  Rect origin;
  if ((dialogTemplate->style & WS_CHILD) != 0 && !modal) {
    dialog->parent = parentOrOwner;
  } else {
    dialog->owner = parentOrOwner;
    if (parentOrOwner != nullptr) {
      GetWindowRect(parentOrOwner, &origin);
    }
  }
  const int left = origin.left + DluToPixelsX(dialogTemplate->x);
  const int top = origin.top + DluToPixelsY(dialogTemplate->y);
  dialog->rect =
      Rect{left, top, left + DluToPixelsX(dialogTemplate->cx), top + DluToPixelsY(dialogTemplate->cy)};
  LayerWindow* raw = AddShownWindow(std::move(dialog));

  for (const ControlTemplate& c : dialogTemplate->controls) {
    auto control = NewWindow(WindowKind::Control, c.className, c.text, instance);
    control->style = c.style;
    control->exStyle = c.exStyle;
    control->id = c.id;
    control->parent = raw;
    control->controlTemplate = &c;
    control->visible = (c.style & WS_VISIBLE) != 0;
    control->enabled = (c.style & WS_DISABLED) == 0;
    if (c.iconId != 0 && instance != nullptr) {
      control->icon = instance->FindIcon(c.iconId);
    }
    const int x = DluToPixelsX(c.x);
    const int y = DluToPixelsY(c.y);
    control->rect = Rect{x, y, x + DluToPixelsX(c.cx), y + DluToPixelsY(c.cy)};
    AddShownWindow(std::move(control));
  }
  return raw;
}

}  // namespace

Window* CreateDialogIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* parent,
                                  DialogProc proc, LParam initParam) {
  if (g_layer == nullptr || (parent != nullptr && Live(parent) == nullptr)) {
    return nullptr;
  }
  LayerWindow* dialog = MakeDialog(instance, dialogTemplate, parent, proc, false);
  if (dialog == nullptr) {
    return nullptr;
  }
  Deliver(dialog, WM_INITDIALOG, 0, initParam);
  if (Live(dialog) == nullptr) {
    return nullptr;
  }
  if ((dialog->style & WS_VISIBLE) != 0) {
    ShowWindow(dialog, SW_SHOW);
  }
  return dialog;
}

LResult DialogBoxIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* owner,
                               DialogProc proc, LParam initParam) {
  if (g_layer == nullptr || (owner != nullptr && Live(owner) == nullptr)) {
    return -1;
  }
  LayerWindow* dialog = MakeDialog(instance, dialogTemplate, owner, proc, true);
  if (dialog == nullptr) {
    return -1;
  }
  ModalRun run;
  run.dialog = dialog;
  g_layer->modalRuns.push_back(&run);
  const bool ownerWasEnabled = owner != nullptr && !EnableWindow(owner, false);
  Deliver(dialog, WM_INITDIALOG, 0, initParam);
  if (!run.ended && Live(dialog) != nullptr) {
    ShowWindow(dialog, SW_SHOW);
    g_layer->backend->OnModal(dialog, owner, true);
    while (!run.ended && Live(dialog) != nullptr) {
      Msg msg;
      const int got = GetMessage(&msg, nullptr, 0, 0);
      if (got <= 0) {
        // The quit belongs to the outer loop: put it back and end this run.
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (!IsDialogMessage(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
      }
    }
    if (Live(dialog) != nullptr) {
      g_layer->backend->OnModal(dialog, owner, false);
    }
  }
  g_layer->modalRuns.erase(std::remove(g_layer->modalRuns.begin(), g_layer->modalRuns.end(), &run),
                           g_layer->modalRuns.end());
  if (ownerWasEnabled && Live(owner) != nullptr) {
    EnableWindow(owner, true);
  }
  DestroyWindow(dialog);
  return run.ended ? run.result : -1;
}

bool EndDialog(Window* dialog, LResult result) {
  Window* d = Live(dialog);
  if (d == nullptr || d->kind != WindowKind::Dialog) {
    return false;
  }
  d->dialogEnded = true;
  d->dialogResult = result;
  for (ModalRun* run : g_layer->modalRuns) {
    if (run->dialog == d) {
      run->ended = true;
      run->result = result;
      return true;
    }
  }
  // A modeless dialog just goes out of sight.
  ShowWindow(d, SW_HIDE);
  return true;
}

}  // namespace srd
