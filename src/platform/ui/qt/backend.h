#pragma once

#include <memory>
#include <string>

#include "platform/ui/ui_backend.h"

class QWidget;

namespace srd {

// The Qt 6 widgets backend. Makes the process's QApplication on first use and keeps it for the life of the
// process. nullptr when no Qt platform can be opened (a DISPLAY whose server does not answer, a Wayland
// session without Qt's Wayland plugin and without X), so the caller can fall back to running without windows;
// *whyNot, if given, then says why when that is news to the user (a platform asked for whose plugin is not
// installed).
std::unique_ptr<UiBackend> CreateQtUiBackend(std::string* whyNot = nullptr);

// How a window asked to come forward from outside learns whether the Wayland compositor offers window
// activation; without it (tests that link the backend directly) none is assumed.
void SetCompositorActivationProbe(bool (*probe)());

// The widget that shows a window: the frame of a top-level window, the dialog, the control, the QMenuBar of a
// menu bar. nullptr when the window is not shown by the Qt backend. For the tests and the picture renderer.
QWidget* QtWidgetOf(const Window* window);

}  // namespace srd
