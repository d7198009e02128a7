#pragma once

#include <string>

namespace srd {

// The Qt platform to open, or empty when none can work. An explicit QT_QPA_PLATFORM is taken as it is when Qt
// has a plugin for it (or for one of the platforms of a ";"-separated list) and its display answers. When the
// result is empty, *whyNot, if given, says why in words that follow "since": no plugin, or which display did
// not answer. Without any display named *whyNot stays empty.
std::string ChooseQtPlatform(std::string* whyNot = nullptr);

}  // namespace srd
