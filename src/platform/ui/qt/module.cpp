// The Qt backend as a loadable module: its one entry point, and the window layer's functions it calls,
// forwarded to the program's layer through the table the program hands over.

#include <string>

#include "platform/ui/qt/backend.h"
#include "platform/ui/ui_module.h"

namespace srd {

namespace {

const UiLayerEntryPoints* g_layer = nullptr;  // set once, before the backend exists

}  // namespace

Window* GetDlgItem(Window* dialog, int id) {
  return g_layer->getDlgItem(dialog, id);
}

bool PostMessage(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  return g_layer->postMessage(window, message, wParam, lParam);
}

void NotifyTextEdited(Window* control, const std::u16string& text) {
  g_layer->notifyTextEdited(control, text);
}

void NotifyShowState(Window* window, bool minimized) {
  g_layer->notifyShowState(window, minimized);
}

void NotifyMoved(Window* window, const Rect& rect) {
  g_layer->notifyMoved(window, rect);
}

}  // namespace srd

extern "C" __attribute__((visibility("default"))) srd::UiBackend* srd_ui_module_create_backend(
    const srd::UiLayerEntryPoints* layer, std::string* whyNot) {
  if (layer == nullptr || layer->version != srd::kUiModuleVersion) {
    *whyNot = "the window module was built for another version of strokerelayd";
    return nullptr;
  }
  srd::g_layer = layer;
  srd::SetCompositorActivationProbe(layer->compositorOffersActivation);
  return srd::CreateQtUiBackend(whyNot).release();
}
