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
// A line of its own that says, while the port cannot be opened, which one and why; empty while listening.
inline constexpr int PANEL_LISTENING_LABEL = 1061;
// The machine's IPv4 addresses a sender can use, under the host name.
inline constexpr int PANEL_ADDRESS_LABEL = 1062;
// At most this many addresses are shown, one a line; the first ones are those a sender most likely reaches.
inline constexpr std::size_t PANEL_ADDRESSES_SHOWN = 2;

// Posted to the main window by the worker (any thread may post): the listening state, or the machine's
// addresses, changed.
inline constexpr std::uint32_t WM_LISTENING_CHANGED = 0x8001;  // the first program-defined message + 1
inline constexpr std::uint32_t WM_ADDRESSES_CHANGED = 0x8002;

inline constexpr int CMD_ABOUT = 40003;
inline constexpr int CMD_EXIT = 40005;
inline constexpr int CMD_HIDE = 40007;
inline constexpr int CMD_SETTINGS = 40023;

// The panel's handler.
LResult MainPanel(Window* panel, std::uint32_t message, WParam wParam, LParam lParam);
// Sets the Port label, then the Host label (host name read afresh), then the addresses and the listening
// line; a missing label is skipped.
void RefreshPanelLabels(Window* panel);
// Only the line that says the port is not open (empty while it is), or only the addresses.
void RefreshListeningLine(Window* panel);
void RefreshAddressLine(Window* panel);
// The listening line's text for the current state: empty while the worker listens.
std::u16string ListeningLineText();
// The command message (273) of the main window: menu commands and command 1.
LResult MainWindowCommand(Window* window, std::uint32_t message, WParam wParam, LParam lParam);

// The device's host name in UTF-16, converted from the locale's multibyte encoding; empty when it cannot be
// read or converted.
std::u16string DeviceHostName();

}  // namespace srd
