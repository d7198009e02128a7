#include "platform/ui/ui_backend_choice.h"

#include "platform/ui/headless_ui_backend.h"
#ifdef SRD_HAVE_QT
#include "platform/ui/qt_platform_choice.h"
#include "platform/ui/qt_ui_backend.h"
#endif

namespace srd {

std::unique_ptr<UiBackend> CreateUiBackend() {
#ifdef SRD_HAVE_QT
  // Real windows when a display is reachable; without one (or when it does not answer) the program runs on
  // without a window, reachable only through its port.
  if (QtDisplayRequested()) {
    if (std::unique_ptr<UiBackend> qt = CreateQtUiBackend()) {
      return qt;
    }
  }
#endif
  return std::make_unique<HeadlessUiBackend>();
}

}  // namespace srd
