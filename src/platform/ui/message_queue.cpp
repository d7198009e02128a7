#include <atomic>
#include <deque>
#include <mutex>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// The interface thread's message queue: posting from any thread, taking and dispatching on the interface
// thread, waiting in the backend without busy waiting.

namespace srd {

using namespace layer;

namespace {

// The queue is shared with other threads (PostMessage); everything else is interface-thread only.
std::mutex g_queueLock;
std::deque<Msg> g_queue;
bool g_quitPending = false;
int g_quitCode = 0;
std::atomic<UiBackend*> g_wakeTarget{nullptr};

bool IsDescendant(const Window* window, const Window* ancestor) {
  for (const Window* w = window; w != nullptr; w = w->parent) {
    if (w == ancestor) {
      return true;
    }
  }
  return false;
}

// Takes the next message: 1 posted, 0 quit, -1 nothing queued.
int TakeMessage(Msg* msg) {
  for (;;) {
    Msg next;
    {
      std::lock_guard<std::mutex> lock(g_queueLock);
      if (g_queue.empty()) {
        if (!g_quitPending) {
          return -1;
        }
        g_quitPending = false;
        *msg = Msg{nullptr, WM_QUIT, static_cast<WParam>(g_quitCode), 0};
        return 0;
      }
      next = g_queue.front();
      g_queue.pop_front();
    }
    // Messages for windows that are gone are dropped, as their queue entries would be.
    if (next.window == nullptr || Live(next.window) != nullptr) {
      *msg = next;
      return 1;
    }
  }
}

}  // namespace

void layer::ResetMessageQueue(UiBackend* wakeTarget) {
  g_wakeTarget.store(nullptr);
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.clear();
    g_quitPending = false;
    g_quitCode = 0;
  }
  g_wakeTarget.store(wakeTarget);
}

bool PostMessage(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.push_back(Msg{window, message, wParam, lParam});
  }
  if (UiBackend* backend = g_wakeTarget.load()) {
    backend->Wake();
  }
  return true;
}

void PostQuitMessage(int exitCode) {
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_quitPending = true;
    g_quitCode = exitCode;
  }
  if (UiBackend* backend = g_wakeTarget.load()) {
    backend->Wake();
  }
}

LResult SendMessage(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  LayerWindow* w = Live(window);
  if (w == nullptr) {
    return 0;
  }
  return Deliver(w, message, wParam, lParam);
}

int GetMessage(Msg* msg, Window* filter, std::uint32_t first, std::uint32_t last) {
  (void)filter;  // the program never filters; every message of the thread is taken in order
  (void)first;
  (void)last;
  if (g_layer == nullptr || msg == nullptr) {
    return -1;
  }
  for (;;) {
    const int taken = TakeMessage(msg);
    if (taken >= 0) {
      return taken;
    }
    g_layer->backend->Wait();
  }
}

int PeekMessage(Msg* msg) {
  if (g_layer == nullptr || msg == nullptr) {
    return 0;
  }
  const int taken = TakeMessage(msg);
  if (taken == 0) {
    PostQuitMessage(static_cast<int>(msg->wParam));  // peeking does not consume the quit
    return 0;
  }
  return taken > 0 ? 1 : 0;
}

bool IsDialogMessage(Window* dialog, Msg* msg) {
  Window* d = Live(dialog);
  if (d == nullptr || msg == nullptr || msg->window == nullptr || !IsDescendant(Live(msg->window), d)) {
    return false;
  }
  if (msg->message == WM_KEYDOWN && (msg->wParam == 0x0D || msg->wParam == 0x1B)) {
    // Enter and Escape are the dialog's OK and Cancel.
    SendMessage(d, WM_COMMAND, MakeWParam(msg->wParam == 0x0D ? IDOK : IDCANCEL, BN_CLICKED), 0);
    return true;
  }
  DispatchMessage(msg);
  return true;
}

int TranslateAccelerator(Window*, const AcceleratorTable*, Msg*) {
  return 0;
}

bool TranslateMessage(const Msg*) {
  // Backends deliver text straight into their edit boxes; no key message needs a character message.
  return false;
}

LResult DispatchMessage(const Msg* msg) {
  if (msg == nullptr || msg->window == nullptr) {
    return 0;
  }
  return SendMessage(msg->window, msg->message, msg->wParam, msg->lParam);
}

LResult DefWindowProc(Window* window, std::uint32_t message, WParam, LParam) {
  if (message == WM_CLOSE) {
    DestroyWindow(window);
  }
  return 0;
}

}  // namespace srd
