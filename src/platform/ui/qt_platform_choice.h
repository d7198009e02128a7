#pragma once

#include <string>

namespace srd {

// True when the environment asks for real windows: a display (WAYLAND_DISPLAY or DISPLAY) or an explicit Qt
// platform (QT_QPA_PLATFORM, e.g. "offscreen" in tests).
bool QtDisplayRequested();

// The Qt platform to open, or empty when none can work. An explicit QT_QPA_PLATFORM is taken as it is.
std::string ChooseQtPlatform();

}  // namespace srd
