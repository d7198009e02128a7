#pragma once

#include <string>

namespace srd {

// The Qt platform to open, or empty when none can work. An explicit QT_QPA_PLATFORM is taken as it is when Qt
// has a plugin for it (or for one of the platforms of a ";"-separated list); when it has none, the result is
// empty and *whyNot, if given, says so in words that follow "since". Without a display *whyNot stays empty.
std::string ChooseQtPlatform(std::string* whyNot = nullptr);

}  // namespace srd
