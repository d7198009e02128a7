#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// The handheld shell's services the program uses: the menu bar, dialog initialisation, and the activation
// handlers (which have no on-screen keyboard to track here).

namespace srd {

using namespace layer;

bool CreateMenuBar(MenuBarInfo* info) {
  if (g_layer == nullptr || info == nullptr || Live(info->parent) == nullptr ||
      (info->flags & SHCMBF_FROM_RESOURCE) == 0 || info->resourceModule == nullptr) {
    return false;
  }
  const MenuResource* menu = info->resourceModule->FindMenu(info->menuId);
  if (menu == nullptr) {
    return false;
  }
  auto bar = NewWindow(WindowKind::MenuBar, u"MenuBar", u"", info->resourceModule);
  bar->parent = info->parent;
  bar->id = info->menuId;
  bar->menu = menu;
  bar->visible = true;
  Window* raw = AddShownWindow(std::move(bar));
  if (!g_layer->backend->OnMenuBar(raw, *menu)) {
    DestroyWindow(raw);
    return false;
  }
  info->menuBar = raw;
  return true;
}

bool ShellInitDialog(const ShellDialogInit* init) {
  if (init == nullptr) {
    return false;
  }
  Window* d = Live(init->dialog);
  if (d == nullptr) {
    return false;
  }
  if ((init->mask & SHIDIM_FLAGS) != 0) {
    d->shellDialogFlags = init->flags;
    Window* frame = Live(d->owner) != nullptr ? d->owner : Live(d->parent);
    if ((init->flags & SHIDIF_SIZEDLGFULLSCREEN) != 0 && frame != nullptr) {
      Rect r;
      GetWindowRect(frame, &r);
      d->rect = r;
      g_layer->backend->OnMoved(d);
    }
  }
  g_layer->backend->OnShellDialogInit(d);
  return true;
}

bool ShellHandleActivate(Window*, WParam, LParam, ShellActivationInfo*, std::uint32_t) {
  return true;
}

bool ShellHandleSettingChange(Window*, WParam, LParam, ShellActivationInfo*) {
  return true;
}

}  // namespace srd
