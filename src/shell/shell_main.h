#pragma once

#include <cstdint>
#include <functional>

#include "platform/ui/window_layer.h"

// Start-up, the main window and the message loop.

namespace srd {

inline constexpr char16_t MAIN_WINDOW_CLASS[] = u"strokeRELAYd";
inline constexpr char16_t MAIN_WINDOW_TITLE[] = u"strokerelayd";
inline constexpr int MENU_BAR_HEIGHT = 26;
inline constexpr std::uint32_t MAIN_WINDOW_STYLE = WS_VISIBLE;  // no caption, border or system menu
inline constexpr std::uint32_t MAIN_CLASS_STYLE = CS_VREDRAW | CS_HREDRAW;

// The program's entry: returns the exit code (0). The command line and the previous instance are ignored.
std::int32_t ShellMain(Instance instance, Instance previousInstance, const char16_t* commandLine,
                       int showCommand);
// 1 when the main window is open; 0 when the program must end (another instance runs, or creation failed).
int OpenMainWindow(Instance instance, int showCommand);
LResult MainWindowProc(Window* window, std::uint32_t message, WParam wParam, LParam lParam);

// Runs once the main window is open, before the state, the socket library and the worker exist: the program
// sets up what a second start must not create (the key injection device). Empty: nothing.
void SetShellOpenedHook(std::function<void()> hook);
struct ReceiverState;
// Has the worker of state tell mainWindow, by a posted message, when its listening or the machine's addresses
// changed. Before StartReceiver.
void ConnectWorkerReports(ReceiverState& state, Window* mainWindow);
// The port the receiver starts on (the command line's choice); DEFAULT_PORT until set. Never stored.
void SetShellStartPort(std::int32_t port);

}  // namespace srd
