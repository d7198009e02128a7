#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/window_layer.h"

// What the window layer needs from a toolkit: mirroring its windows as native widgets, and waiting for input.
//
// The layer owns the window tree, the texts, the rectangles, the show state and the message queue; it calls
// the On* hooks after it changed a window, always on the interface thread. The backend never calls a window's
// handler itself: what the user does comes back into the layer as posted messages (PostMessage is safe from
// any thread) or through the Notify* functions below (interface thread only).
//
// What the user does, as the layer expects it:
//   push button clicked   PostMessage(dialog, WM_COMMAND, MakeWParam(control->id, BN_CLICKED), control)
//   edit box typed into   NotifyTextEdited(control, text)   (then optionally WM_COMMAND with EN_CHANGE)
//   menu item chosen      PostMessage(menuBar->parent, WM_COMMAND, MakeWParam(itemId, 0), 0)
//   Done / caption OK     PostMessage(dialog, WM_COMMAND, MakeWParam(IDOK, BN_CLICKED), 0)
//                         (dialogs with shellDialogFlags & SHIDIF_DONEBUTTON, or exStyle &
//                         WS_EX_CAPTIONOKBTN)
//   window close button   PostMessage(window, WM_CLOSE, 0, 0)
//   minimised / restored  NotifyShowState(window, minimized)
//   moved / resized       NotifyMoved(window, rect)

namespace srd {

// What became of a request to bring a window to the front.
enum class FrontResult {
  Raised,     // it is in front (or the desktop was asked with what it needs to put it there)
  NoWindow,   // nothing is on screen: a backend without widgets
  NotRaised,  // the desktop offers no way for a program to raise its window
};

class UiBackend {
 public:
  virtual ~UiBackend() = default;

  // A short name for diagnostics ("headless", "qt").
  virtual const char* Name() const = 0;

  // --- Mirroring (interface thread) ---
  // A window was made. Dialogs: called for the dialog first, then for each control in template order, all
  // before WM_INITDIALOG. Top-level windows: before WM_CREATE. The window is not yet visible.
  virtual void OnWindowCreated(Window* window) { (void)window; }
  // The window is about to go; its children have been reported already. The handle is invalid afterwards.
  virtual void OnWindowDestroyed(Window* window) { (void)window; }
  // window->text changed by the program (not by NotifyTextEdited).
  virtual void OnTextChanged(Window* window) { (void)window; }
  // window->visible / window->minimized changed as the show command asked.
  virtual void OnShow(Window* window, int showCommand) {
    (void)window;
    (void)showCommand;
  }
  // window->rect changed by the program.
  virtual void OnMoved(Window* window) { (void)window; }
  // window->enabled changed (an owner during a modal run).
  virtual void OnEnabled(Window* window) { (void)window; }
  // A menu bar window `bar` (bar->parent is its window) is to be built from `menu`. False: no bar could be
  // built; the layer then destroys `bar` again and the program runs without one.
  virtual bool OnMenuBar(Window* bar, const MenuResource& menu) {
    (void)bar;
    (void)menu;
    return true;
  }
  // A modal run of `dialog` over `owner` begins (after WM_INITDIALOG, the dialog shown) or ends (before the
  // dialog is destroyed).
  virtual void OnModal(Window* dialog, Window* owner, bool begin) {
    (void)dialog;
    (void)owner;
    (void)begin;
  }
  // ShellInitDialog recorded window->shellDialogFlags (SHIDIF_*).
  virtual void OnShellDialogInit(Window* dialog) { (void)dialog; }
  // Raise and activate the window (already restored and shown by the layer). `activationToken`: what a
  // desktop handed the program that asked for it (a later start of this one), for desktops that raise a
  // window only with one; empty when there is none. Says what became of it.
  virtual FrontResult BringToFront(Window* window, const std::string& activationToken) {
    (void)window;
    (void)activationToken;
    return FrontResult::NoWindow;
  }
  // UpdateWindow: paint now if the backend paints at all.
  virtual void OnPaint(Window* window) { (void)window; }
  // The placement a top-level window gets for CW_USEDEFAULT. The default suits a 240 x 320 screen whose top
  // 26 pixels belong to the system's task bar.
  virtual Rect DefaultWindowRect() { return Rect{0, 26, 240, 320}; }

  // --- Waiting (interface thread unless said otherwise) ---
  // Blocks until Wake was called (also before Wait began), the user did something, or a watched descriptor
  // became readable (its callback has then run, on this thread). May return early. Never busy-waits.
  virtual void Wait() = 0;
  // Ends a current or the next Wait. Any thread.
  virtual void Wake() = 0;
  // Calls onReadable on the interface thread, from inside Wait, whenever fd is readable. False on failure.
  virtual bool WatchFd(int fd, std::function<void()> onReadable) = 0;
  virtual void UnwatchFd(int fd) = 0;

  // --- Texts (interface thread) ---
  // One of the program's texts in the language its windows speak; the text as written when the backend has
  // no other (headless). Texts that windows show whole are looked up by the backend itself; a text the
  // program puts together asks for its pattern ("Port %1 ...") and each piece on its own, then fills in.
  virtual std::u16string TranslatedText(const std::u16string& text) { return text; }
};

// --- Entry points for backends (interface thread) ---
// The user changed an edit box's text: the layer stores it without calling OnTextChanged back.
void NotifyTextEdited(Window* control, const std::u16string& text);
// The user minimised or restored a window.
void NotifyShowState(Window* window, bool minimized);
// The user moved or resized a top-level window or dialog.
void NotifyMoved(Window* window, const Rect& rect);

}  // namespace srd
