#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_resources.h"

// A small Win32-style window and message layer: window classes, top-level windows, modeless and modal dialogs
// from templates, controls by id, one message queue for the interface thread, and look-up of a running
// instance's main window. What is shown on screen is the business of the UiBackend behind it (ui_backend.h).
//
// Threads: everything runs on the interface thread (the thread that called InitWindowLayer), except
// PostMessage and PostQuitMessage, which any thread may call.

namespace srd {

class UiBackend;

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Message numbers.
inline constexpr std::uint32_t WM_NULL = 0;
inline constexpr std::uint32_t WM_CREATE = 1;
inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_MOVE = 3;
inline constexpr std::uint32_t WM_SIZE = 5;
inline constexpr std::uint32_t WM_ACTIVATE = 6;
inline constexpr std::uint32_t WM_SETFOCUS = 7;
inline constexpr std::uint32_t WM_ENABLE = 10;
inline constexpr std::uint32_t WM_SETTEXT = 12;
inline constexpr std::uint32_t WM_GETTEXT = 13;
inline constexpr std::uint32_t WM_PAINT = 15;
inline constexpr std::uint32_t WM_CLOSE = 16;
inline constexpr std::uint32_t WM_QUIT = 18;
inline constexpr std::uint32_t WM_SETTINGCHANGE = 26;
inline constexpr std::uint32_t WM_KEYDOWN = 0x100;
inline constexpr std::uint32_t WM_KEYUP = 0x101;
inline constexpr std::uint32_t WM_CHAR = 0x102;
inline constexpr std::uint32_t WM_INITDIALOG = 272;
inline constexpr std::uint32_t WM_COMMAND = 273;

// Activation states (low word of WM_ACTIVATE's wParam).
inline constexpr WParam WA_INACTIVE = 0;
inline constexpr WParam WA_ACTIVE = 1;

// Command ids of the standard dialog buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Notification code of a push button click (high word of WM_COMMAND's wParam).
inline constexpr std::uint32_t BN_CLICKED = 0;
// Notification code of an edit box whose text the user changed.
inline constexpr std::uint32_t EN_CHANGE = 0x300;

// Window styles.
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_DISABLED = 0x08000000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000;
inline constexpr std::uint32_t WS_GROUP = 0x00020000;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000;
inline constexpr std::uint32_t WS_EX_CAPTIONOKBTN = 0x80000000;
inline constexpr std::uint32_t DS_SETFONT = 0x40;
// Button styles.
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1;
// Static styles.
inline constexpr std::uint32_t SS_ICON = 0x3;
inline constexpr std::uint32_t SS_NOPREFIX = 0x80;
// Edit styles.
inline constexpr std::uint32_t ES_MULTILINE = 0x4;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x80;
inline constexpr std::uint32_t ES_WANTRETURN = 0x1000;
// Class styles.
inline constexpr std::uint32_t CS_VREDRAW = 0x1;
inline constexpr std::uint32_t CS_HREDRAW = 0x2;

// The use-the-default value for a window's position and size.
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// Show commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;
inline constexpr int SW_SHOWDEFAULT = 10;

// Stock objects.
inline constexpr int WHITE_BRUSH = 0;

inline constexpr std::uint16_t LoWord(WParam w) {
  return static_cast<std::uint16_t>(w & 0xFFFFu);
}
inline constexpr std::uint16_t HiWord(WParam w) {
  return static_cast<std::uint16_t>((w >> 16) & 0xFFFFu);
}
inline constexpr WParam MakeWParam(std::uint32_t low, std::uint32_t high) {
  return static_cast<WParam>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Window;

// The handler of a window class, and of a dialog (which returns 0 for "not handled").
using WindowProc = LResult (*)(Window* window, std::uint32_t message, WParam wParam, LParam lParam);
using DialogProc = LResult (*)(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam);

enum class WindowKind {
  TopLevel,  // made by CreateWindowEx from a registered class
  Dialog,    // made from a template: modeless (child or pop-up) or modal
  Control,   // a control of a dialog: Static, Button, Edit (an icon is a Static with SS_ICON)
  MenuBar,   // the bar of a top-level window, built from a menu resource
  Remote,    // stands for the main window of another process (FindWindow across processes)
};

// A window. The layer owns and changes every field; a backend reads them and keeps its own widget in
// backendData. A Window* is the window's handle; a handle of a destroyed window is never dereferenced by the
// layer (every entry point checks it first).
struct Window {
  WindowKind kind = WindowKind::TopLevel;
  std::u16string className;
  std::u16string text;  // title, label text, button text, edit box contents
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  int id = 0;                // control id (ID_NONE when none)
  Window* parent = nullptr;  // control: its dialog; child dialog: the window it lies in; menu bar: its window
  Window* owner = nullptr;   // pop-up and modal dialogs: the owner window
  std::vector<Window*> children;  // controls in template order, child dialogs, the menu bar
  Rect rect;  // pixels; top-level: screen; child windows: relative to the parent's client area
  bool visible = false;
  bool minimized = false;
  bool enabled = true;
  bool modal = false;  // a dialog run by DialogBoxIndirectParam
  Instance instance = nullptr;
  const DialogTemplate* dialogTemplate = nullptr;    // dialogs
  const ControlTemplate* controlTemplate = nullptr;  // controls
  const MenuResource* menu = nullptr;                // menu bars
  const IconResource* icon = nullptr;                // top-level: the class icon; icon controls: the picture
  std::uint32_t classStyle = 0;
  int background = WHITE_BRUSH;
  std::uint32_t shellDialogFlags = 0;  // set by ShellInitDialog (SHIDIF_*)
  void* backendData = nullptr;         // the backend's own

  // Layer-private.
  WindowProc proc = nullptr;
  DialogProc dialogProc = nullptr;
  LResult dialogResult = 0;
  bool dialogEnded = false;
  bool destroying = false;
  std::string remoteName;  // Remote windows: the instance name to ask
};

struct Msg {
  Window* window = nullptr;
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
};

struct WindowClass {
  std::uint32_t style = 0;
  WindowProc proc = nullptr;
  int classExtra = 0;
  int windowExtra = 0;
  Instance instance = nullptr;
  const IconResource* icon = nullptr;
  const void* cursor = nullptr;
  int background = WHITE_BRUSH;
  const char16_t* menuName = nullptr;
  std::u16string className;
};

struct PaintRecord {
  Rect paintRect;
  bool erase = false;
};

// An accelerator table; the program's resources hold none, so LoadAccelerators always returns nullptr.
struct AcceleratorTable;

// --- Layer lifetime
// ------------------------------------------------------------------------------------------- Makes `backend`
// the layer's backend for the calling (interface) thread. Returns false if already initialised.
bool InitWindowLayer(std::unique_ptr<UiBackend> backend);
// Destroys every window, drops queued messages, forgets classes, stops listening for other instances and
// releases the backend. Safe to call when not initialised.
void ShutdownWindowLayer();
// The installed backend, or nullptr.
UiBackend* CurrentUiBackend();

// Turns SIGTERM, SIGINT and SIGHUP (which the caller must have blocked in every thread) into WM_CLOSE posted
// to every top-level window, read from a signalfd that the backend's loop watches. Returns false on failure.
bool CloseWindowsOnStopSignals();

// Directory for the instance lock and socket; empty: $XDG_RUNTIME_DIR, else a private per-user directory.
// Tests point it at a directory of their own.
void SetInstanceDirectory(const std::string& directory);

// --- Windows
// --------------------------------------------------------------------------------------------------
bool RegisterClass(const WindowClass& windowClass);
// Creates a top-level window; WM_CREATE reaches the class handler before this returns (-1 from it: failure).
Window* CreateWindowEx(std::uint32_t exStyle, std::u16string_view className, std::u16string_view title,
                       std::uint32_t style, int x, int y, int width, int height, Window* parent,
                       const void* menu, Instance instance, LParam createParam);
bool DestroyWindow(Window* window);
bool IsWindow(const Window* window);
// Finds a top-level window by class and title: in this process first, then a running instance of another
// process (a Remote window). A look-up that finds nothing reserves the pair for this process, so two
// processes looking at the same moment never both find nothing.
Window* FindWindow(std::u16string_view className, std::u16string_view title);
// Brings the window to the front. A handle with bit 0 set brings its owned pop-ups (an open dialog) along;
// a minimised window is restored. A Remote window asks its process to do so.
bool SetForegroundWindow(Window* window);
// The handle with bit 0 set: "the window together with its owned pop-ups".
Window* WithOwnedPopups(Window* window);

bool ShowWindow(Window* window, int showCommand);
bool UpdateWindow(Window* window);
bool GetWindowRect(Window* window, Rect* rect);
bool MoveWindow(Window* window, int x, int y, int width, int height, bool repaint);
bool EnableWindow(Window* window, bool enable);
bool SetWindowText(Window* window, std::u16string_view text);
// Copies at most maxCount - 1 units and a terminator; returns the number of units copied.
int GetWindowText(Window* window, char16_t* buffer, int maxCount);
std::u16string GetWindowText(Window* window);
Window* GetDlgItem(Window* dialog, int id);
Window* GetParent(Window* window);

const IconResource* LoadIcon(Instance instance, int id);
int GetStockObject(int object);
const AcceleratorTable* LoadAccelerators(Instance instance, int id);

Window* BeginPaint(Window* window, PaintRecord* paint);
bool EndPaint(Window* window, const PaintRecord* paint);

// --- Dialogs
// -------------------------------------------------------------------------------------------------- A
// modeless dialog: controls created, WM_INITDIALOG delivered; visible only if the template says so.
Window* CreateDialogIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* parent,
                                  DialogProc proc, LParam initParam);
// A modal dialog: the owner takes no input until EndDialog; runs a nested message loop and returns the
// EndDialog result (-1 if the dialog could not be created or was destroyed without ending).
LResult DialogBoxIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* owner,
                               DialogProc proc, LParam initParam);
bool EndDialog(Window* dialog, LResult result);

// --- Messages
// ------------------------------------------------------------------------------------------------- Any
// thread. A message for a window destroyed before it is taken is dropped.
bool PostMessage(Window* window, std::uint32_t message, WParam wParam, LParam lParam);
void PostQuitMessage(int exitCode);
// Interface thread only: calls the window's handler before returning.
LResult SendMessage(Window* window, std::uint32_t message, WParam wParam, LParam lParam);
// Blocks (without busy waiting) until a message is there; 0 for the quit message (msg->wParam = its code).
int GetMessage(Msg* msg, Window* filter, std::uint32_t first, std::uint32_t last);
// Non-blocking: 1 and the message if one is queued, else 0.
int PeekMessage(Msg* msg);
// True when the message was for the dialog or one of its controls; it has then been dispatched.
bool IsDialogMessage(Window* dialog, Msg* msg);
// No table is ever loaded, so nothing is consumed: 0.
int TranslateAccelerator(Window* window, const AcceleratorTable* table, Msg* msg);
bool TranslateMessage(const Msg* msg);
LResult DispatchMessage(const Msg* msg);
// Close destroys the window; everything else: 0.
LResult DefWindowProc(Window* window, std::uint32_t message, WParam wParam, LParam lParam);

// --- The handheld shell's services
// -------------------------------------------------------------------------- Menu bar creation record.
inline constexpr std::uint32_t SHCMBF_FROM_RESOURCE = 0x10;  // build the bar from a menu resource
struct MenuBarInfo {
  std::uint32_t size = 0;
  Window* parent = nullptr;
  std::uint32_t flags = 0;
  int menuId = 0;
  Instance resourceModule = nullptr;
  int bitmapId = 0;
  int bitmapCount = 0;
  Window* menuBar = nullptr;  // written back on success
};
bool CreateMenuBar(MenuBarInfo* info);

// Dialog initialisation record.
inline constexpr std::uint32_t SHIDIM_FLAGS = 0x1;
inline constexpr std::uint32_t SHIDIF_DONEBUTTON = 0x1;         // a Done button that delivers command 1
inline constexpr std::uint32_t SHIDIF_SIZEDLGFULLSCREEN = 0x4;  // the dialog fills the screen
inline constexpr std::uint32_t SHIDIF_SIPDOWN = 0x8;            // the on-screen keyboard goes down
struct ShellDialogInit {
  std::uint32_t mask = 0;
  Window* dialog = nullptr;
  std::uint32_t flags = 0;
};
// Records the flags on the dialog (Window::shellDialogFlags) and tells the backend. A full-screen dialog
// takes the size of its owner's (or parent's) window.
bool ShellInitDialog(const ShellDialogInit* init);

// The shell's activation record; the program only resets it. On this platform there is no on-screen keyboard
// to track, so the handlers below leave it as it is and do nothing.
struct ShellActivationInfo {
  std::uint32_t size = 0;
  std::uint32_t reserved[2] = {0, 0};
};
bool ShellHandleActivate(Window* window, WParam wParam, LParam lParam, ShellActivationInfo* info,
                         std::uint32_t flags);
bool ShellHandleSettingChange(Window* window, WParam wParam, LParam lParam, ShellActivationInfo* info);

}  // namespace srd
