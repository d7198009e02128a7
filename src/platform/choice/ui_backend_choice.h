#pragma once

#include <memory>

#include "platform/ui/ui_backend.h"

namespace srd {

// The one place that chooses the window backend, once, at start-up: Qt widgets when the build has them and a
// display is reachable, otherwise the headless backend (the program then runs without a window on screen).
std::unique_ptr<UiBackend> CreateUiBackend();

}  // namespace srd
