#pragma once

#include "platform/ui/window_layer.h"

// The About dialog (template 103): icon, name, disclaimer, credit and site. It ends only with command 1.

namespace srd {

LResult AboutDialog(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam);

}  // namespace srd
