#pragma once

#include "platform/ui/ui_resources.h"

// The program's resources: the icon, the menu bar's menu and the three dialog templates.

namespace srd {

inline constexpr int IDI_STROKERELAYD = 101;  // icon: 32 x 32 and 16 x 16, 16 colours
inline constexpr int IDR_MAIN_MENU = 102;     // the menu bar
inline constexpr int IDD_ABOUT = 103;         // AboutDialog
inline constexpr int IDD_MAIN_PANEL = 104;    // MainPanel
inline constexpr int IDD_SETTINGS = 107;      // SettingsDialog
inline constexpr int IDR_ACCELERATORS = 3;    // looked up at start; the resources hold no such table

// The module instance: every resource above, built once.
Instance ShellResources();

}  // namespace srd
