#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_resources.h"
#include "platform/ui/window_constants.h"

// A small Win32-style window and message layer: window classes, top-level windows, modeless and modal dialogs
// from templates, controls by id, one message queue for the interface thread, and look-up of a running
// instance's main window. What is shown on screen is the business of the UiBackend behind it (ui_backend.h).
//
// Threads: everything runs on the interface thread (the thread that called InitWindowLayer), except
// PostMessage and PostQuitMessage, which any thread may call.

namespace srd {

class UiBackend;

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
  bool dialogEnded = false;            // dialogs: EndDialog was called, with dialogResult
  LResult dialogResult = 0;
  void* backendData = nullptr;  // the backend's own
  // What only the layer uses (handlers, teardown state) lives in its own record of the window.
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

// --- Layer lifetime (window_layer.cpp)
// Makes `backend` the layer's backend for the calling (interface) thread. Returns false if already
// initialised.
bool InitWindowLayer(std::unique_ptr<UiBackend> backend);
// Destroys every window, drops queued messages, forgets classes, stops listening for other instances and
// releases the backend. Safe to call when not initialised.
void ShutdownWindowLayer();
// The installed backend, or nullptr.
UiBackend* CurrentUiBackend();
// `text`, one of the program's own, in the language the windows speak (UiBackend::TranslatedText); the text
// as written without a backend.
std::u16string InterfaceText(const std::u16string& text);

// Turns the stop signals (signals.h; the caller must have blocked them in every thread) into WM_CLOSE posted
// to every top-level window, read from a signalfd that the backend's loop watches. Returns false on failure.
bool CloseWindowsOnStopSignals();
// The directory of the single-instance lock while this process holds it (it reserved a name, or a window of
// its answers for one); empty otherwise.
std::string InstanceLockDirectory();
// Directory for the instance lock and socket; empty: $XDG_RUNTIME_DIR, else a private per-user directory.
// Tests point it at a directory of their own.
void SetInstanceDirectory(const std::string& directory);

// --- Windows (windows.cpp; FindWindow and SetForegroundWindow in instance_lookup.cpp)
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

// --- Dialogs (dialogs.cpp)
// A modeless dialog: controls created, WM_INITDIALOG delivered; visible only if the template says so.
Window* CreateDialogIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* parent,
                                  DialogProc proc, LParam initParam);
// A modal dialog: the owner takes no input until EndDialog; runs a nested message loop and returns the
// EndDialog result (-1 if the dialog could not be created or was destroyed without ending).
LResult DialogBoxIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* owner,
                               DialogProc proc, LParam initParam);
bool EndDialog(Window* dialog, LResult result);

// --- Messages (message_queue.cpp)
// Any thread. A message for a window destroyed before it is taken is dropped.
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

// --- The handheld shell's services (shell_services.cpp)
// Menu bar creation record.
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
