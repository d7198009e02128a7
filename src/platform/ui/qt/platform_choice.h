#pragma once

#include <string>

namespace srd {

// The Qt platform to open, or empty when none can work. An explicit QT_QPA_PLATFORM is taken as it is.
std::string ChooseQtPlatform();

}  // namespace srd
