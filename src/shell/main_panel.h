#pragma once

#include "platform/ui/window_layer.h"

// The main panel over the main window (dialog template 104) and the menu commands of the main window.

namespace srd {

inline constexpr int PANEL_TEST_EDIT = 1018;
inline constexpr int PANEL_HIDE_BUTTON = 1027;
inline constexpr int PANEL_EXIT_BUTTON = 1036;
inline constexpr int PANEL_SETTINGS_BUTTON = 1046;
inline constexpr int PANEL_HOST_LABEL = 1059;
inline constexpr int PANEL_PORT_LABEL = 1060;

inline constexpr int CMD_ABOUT = 40003;
inline constexpr int CMD_EXIT = 40005;
inline constexpr int CMD_HIDE = 40007;
inline constexpr int CMD_SETTINGS = 40023;

// The panel's handler.
LResult MainPanel(Window* panel, std::uint32_t message, WParam wParam, LParam lParam);
// Sets the Port label, then the Host label (host name read afresh); a missing label is skipped.
void RefreshPanelLabels(Window* panel);
// The command message (273) of the main window: menu commands and command 1.
LResult MainWindowCommand(Window* window, std::uint32_t message, WParam wParam, LParam lParam);

// The device's host name in UTF-16, converted from the locale's multibyte encoding; empty when it cannot be
// read or converted.
std::u16string DeviceHostName();

}  // namespace srd
