#include "platform/choice/ui_backend_choice.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sys/loadable_module.h"
#include "platform/ui/headless_ui_backend.h"
#include "platform/ui/ui_module.h"
#include "platform/wayland/wayland_module.h"

namespace srd {

namespace {

#ifdef SRD_HAVE_QT
bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// True when the environment asks for real windows: a display (WAYLAND_DISPLAY or DISPLAY) or an explicit Qt
// platform (QT_QPA_PLATFORM, e.g. "offscreen" in tests).
bool DisplayRequested() {
  return EnvSet("WAYLAND_DISPLAY") || EnvSet("DISPLAY") || EnvSet("QT_QPA_PLATFORM");
}

// What the Qt module calls back into: this program's one window layer.
// Whether the session's Wayland compositor offers window activation, asked through the Wayland module, which
// is loaded only for this in a Wayland session.
bool CompositorOffersActivation() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    return false;
  }
  std::string whyNot;
  const auto entry =
      LoadModuleEntry<WaylandActivationEntry>(kWaylandModuleFile, kWaylandActivationEntryName, &whyNot);
  const std::string name = display;
  return entry != nullptr && entry(kWaylandModuleVersion, &name);
}

constexpr UiLayerEntryPoints kLayerEntryPoints{
    kUiModuleVersion,
    &GetDlgItem,
    &PostMessage,
    &NotifyTextEdited,
    &NotifyShowState,
    &NotifyMoved,
    &CompositorOffersActivation,
};

// The Qt backend from its module. nullptr with *whyNot set when the module is missing or refuses, and with
// *whyNot empty when the module loaded but no display answers.
std::unique_ptr<UiBackend> LoadQtUiBackend(std::string* whyNot) {
  const auto entry = LoadModuleEntry<UiModuleEntry>(kQtUiModuleFile, kUiModuleEntryName, whyNot);
  return std::unique_ptr<UiBackend>(entry != nullptr ? entry(&kLayerEntryPoints, whyNot) : nullptr);
}
#endif

}  // namespace

std::unique_ptr<UiBackend> CreateUiBackend() {
#ifdef SRD_HAVE_QT
  // Real windows when a display is reachable; without one (or when it does not answer) the program runs on
  // without a window, reachable only through its port. The toolkit is loaded only here, so that a program
  // without a display never maps it. A display that does not answer is no news (the session went away); a
  // module that cannot be loaded is, since the user expected a window.
  if (DisplayRequested()) {
    std::string whyNot;
    if (std::unique_ptr<UiBackend> qt = LoadQtUiBackend(&whyNot)) {
      return qt;
    }
    if (!whyNot.empty()) {
      std::fprintf(stderr, "strokerelayd: running without a window, since %s.\n", whyNot.c_str());
      std::fflush(stderr);
    }
  }
#endif
  return std::make_unique<HeadlessUiBackend>();
}

}  // namespace srd
