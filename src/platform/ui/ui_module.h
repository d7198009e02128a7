#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ui_backend.h"

// How the program and a window backend built as a loadable module meet. The module is linked without the
// window layer, so that the process keeps one layer with one window tree: the few layer functions a backend
// calls are handed to it as this table when it is made.

namespace srd {

struct UiLayerEntryPoints {
  std::uint32_t version;  // kUiModuleVersion of the program that fills the table
  Window* (*getDlgItem)(Window* dialog, int id);
  bool (*postMessage)(Window* window, std::uint32_t message, WParam wParam, LParam lParam);
  void (*notifyTextEdited)(Window* control, const std::u16string& text);
  void (*notifyShowState)(Window* window, bool minimized);
  void (*notifyMoved)(Window* window, const Rect& rect);
  // Whether the Wayland compositor offers window activation (the program asks through its Wayland module).
  bool (*compositorOffersActivation)();
};

// Raised whenever the table, the UiBackend interface or the layer's Window record change.
inline constexpr std::uint32_t kUiModuleVersion = 4;

// The one function a window module exports, by this name: makes the backend (owned by the caller), or
// returns nullptr when it cannot show windows, with *whyNot set when that deserves telling (a module of
// another version, a Qt platform asked for whose plugin is missing) and left empty when there is simply no
// display to open.
using UiModuleEntry = UiBackend* (*)(const UiLayerEntryPoints* layer, std::string* whyNot);
inline constexpr char kUiModuleEntryName[] = "srd_ui_module_create_backend";

// The file name of the Qt widgets backend's module.
inline constexpr char kQtUiModuleFile[] = "strokerelayd-qt.so";

}  // namespace srd
