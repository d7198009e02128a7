#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sys/single_instance.h"
#include "platform/ui/window_layer.h"

// What the window layer's own files share: its state, its record of each window, and the helpers every part
// of it uses. Neither backends nor the shell include this.

namespace srd::layer {

// A window as the layer keeps it: the public fields, and what only the layer reads.
struct LayerWindow : Window {
  WindowProc proc = nullptr;        // top-level windows: the class handler
  DialogProc dialogProc = nullptr;  // dialogs
  bool destroying = false;          // DestroyWindow is under way: no second teardown, no new messages
  // Remote windows: the connection to the process to ask (none when it did not answer).
  std::unique_ptr<InstanceConnection> remoteConnection;
};

// One nested message loop of a modal dialog.
struct ModalRun {
  Window* dialog = nullptr;
  bool ended = false;
  LResult result = -1;
};

struct Layer {
  std::unique_ptr<UiBackend> backend;
  std::map<std::u16string, WindowClass> classes;
  std::unordered_map<const Window*, std::unique_ptr<LayerWindow>> windows;
  std::vector<LayerWindow*> topLevelOrder;  // creation order, for look-up and signal delivery
  std::vector<ModalRun*> modalRuns;
  std::string instanceDirectory;
  // Instance names this process looked up and found free: the lock is held until a window claims it.
  std::map<std::string, std::unique_ptr<InstanceLock>> reservations;
  // Top-level windows that hold an instance lock and answer come-forward requests.
  std::map<Window*, std::unique_ptr<InstanceLock>> listeners;
  // Instance names whose window has gone: no longer served, but the lock is kept until the layer shuts down,
  // after the program has put back what it changed (the key sink's held keys and the display's repeat), so
  // that a later start cannot meet an ending one's changes. The same process may claim the name again.
  std::map<std::string, std::unique_ptr<InstanceLock>> retiring;
  int signalFd = -1;
};

// The layer of the interface thread; nullptr before InitWindowLayer and after ShutdownWindowLayer.
extern Layer* g_layer;

// The live window behind a handle, or nullptr (no layer, null, or destroyed).
LayerWindow* Live(const Window* window);

// A new window record with the fields every kind of window sets; the caller fills in the rest.
std::unique_ptr<LayerWindow> NewWindow(WindowKind kind, std::u16string_view className,
                                       std::u16string_view text, Instance instance);
// Takes ownership and links the window into its parent's children.
LayerWindow* AddWindow(std::unique_ptr<LayerWindow> window);
// AddWindow, then tells the backend (every kind but Remote windows, which have nothing on screen).
LayerWindow* AddShownWindow(std::unique_ptr<LayerWindow> window);

// Calls the window's handler (and a dialog's default handling) for one message.
LResult Deliver(LayerWindow* window, std::uint32_t message, WParam wParam, LParam lParam);

// The come-forward service of a top-level window that claimed a reserved instance name (instance_lookup.cpp).
void StartAnswering(Window* window);
void StopAnswering(Window* window);
// Stops every come-forward service at once (a stop signal came: the instance is ending), keeping the locks.
void StopServingAll();

// The message queue's link to the backend that Wait()s for it (message_queue.cpp): set on init, cleared on
// shutdown, when queued messages are dropped too.
void ResetMessageQueue(UiBackend* wakeTarget);

}  // namespace srd::layer
