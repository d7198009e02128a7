#include "platform/ui/window_layer.h"

#include <unistd.h>

#include "platform/sys/signals.h"
#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer_state.h"

namespace srd {

namespace layer {

Layer* g_layer = nullptr;

LayerWindow* Live(const Window* window) {
  if (g_layer == nullptr || window == nullptr) {
    return nullptr;
  }
  auto it = g_layer->windows.find(window);
  return it == g_layer->windows.end() ? nullptr : it->second.get();
}

std::unique_ptr<LayerWindow> NewWindow(WindowKind kind, std::u16string_view className,
                                       std::u16string_view text, Instance instance) {
  auto window = std::make_unique<LayerWindow>();
  window->kind = kind;
  window->className = className;
  window->text = text;
  window->instance = instance;
  return window;
}

LayerWindow* AddWindow(std::unique_ptr<LayerWindow> window) {
  LayerWindow* raw = window.get();
  g_layer->windows.emplace(raw, std::move(window));
  if (raw->parent != nullptr) {
    raw->parent->children.push_back(raw);
  }
  return raw;
}

LayerWindow* AddShownWindow(std::unique_ptr<LayerWindow> window) {
  LayerWindow* raw = AddWindow(std::move(window));
  g_layer->backend->OnWindowCreated(raw);
  return raw;
}

namespace {

LResult DefDialogProc(Window* dialog, std::uint32_t message, WParam, LParam) {
  if (message == WM_CLOSE) {
    // A dialog's close button means Cancel; the dialog's handler decides what Cancel does.
    return SendMessage(dialog, WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0);
  }
  return 0;
}

// Frees a window and its children without any message (layer shutdown), children first.
void Forget(Window* window) {
  const std::vector<Window*> children = window->children;
  for (Window* child : children) {
    Forget(child);
  }
  if (window->kind != WindowKind::Remote && g_layer->backend) {
    g_layer->backend->OnWindowDestroyed(window);
  }
  g_layer->windows.erase(window);
}

}  // namespace

LResult Deliver(LayerWindow* window, std::uint32_t message, WParam wParam, LParam lParam) {
  switch (window->kind) {
    case WindowKind::TopLevel:
      return window->proc != nullptr ? window->proc(window, message, wParam, lParam)
                                     : DefWindowProc(window, message, wParam, lParam);
    case WindowKind::Dialog: {
      const LResult handled =
          window->dialogProc != nullptr ? window->dialogProc(window, message, wParam, lParam) : 0;
      if (handled == 0 && Live(window) != nullptr) {
        DefDialogProc(window, message, wParam, lParam);
      }
      return handled;
    }
    case WindowKind::Control:
    case WindowKind::MenuBar:
    case WindowKind::Remote:
      return 0;
  }
  return 0;
}

}  // namespace layer

using namespace layer;

bool InitWindowLayer(std::unique_ptr<UiBackend> backend) {
  if (g_layer != nullptr || !backend) {
    return false;
  }
  g_layer = new Layer;
  g_layer->backend = std::move(backend);
  ResetMessageQueue(g_layer->backend.get());
  return true;
}

void ShutdownWindowLayer() {
  if (g_layer == nullptr) {
    return;
  }
  if (g_layer->signalFd >= 0) {
    g_layer->backend->UnwatchFd(g_layer->signalFd);
    close(g_layer->signalFd);
  }
  while (!g_layer->listeners.empty()) {
    StopAnswering(g_layer->listeners.begin()->first);
  }
  g_layer->reservations.clear();
  std::vector<Window*> roots;
  for (const auto& [key, window] : g_layer->windows) {
    if (window->parent == nullptr) {
      roots.push_back(window.get());
    }
  }
  for (Window* root : roots) {
    Forget(root);
  }
  // Last: the program has put back what it changed by now (see Layer::retiring).
  g_layer->retiring.clear();
  ResetMessageQueue(nullptr);
  delete g_layer;
  g_layer = nullptr;
}

UiBackend* CurrentUiBackend() {
  return g_layer != nullptr ? g_layer->backend.get() : nullptr;
}

std::u16string InterfaceText(const std::u16string& text) {
  UiBackend* backend = CurrentUiBackend();
  return backend != nullptr ? backend->TranslatedText(text) : text;
}

bool CloseWindowsOnStopSignals() {
  if (g_layer == nullptr || g_layer->signalFd >= 0) {
    return false;
  }
  const int fd = OpenStopSignalFd();
  if (fd < 0) {
    return false;
  }
  g_layer->signalFd = fd;
  return g_layer->backend->WatchFd(fd, [fd] {
    while (ReadStopSignal(fd) != 0) {
      // Ending from now on: a later start must not be told that this instance came forward.
      StopServingAll();
      bool posted = false;
      for (LayerWindow* w : g_layer->topLevelOrder) {
        if (Live(w) != nullptr && !w->destroying) {
          PostMessage(w, WM_CLOSE, 0, 0);
          posted = true;
        }
      }
      if (!posted) {
        PostQuitMessage(0);
      }
    }
  });
}

void SetInstanceDirectory(const std::string& directory) {
  if (g_layer != nullptr) {
    g_layer->instanceDirectory = directory;
  }
}

// --- Entry points for backends

void NotifyTextEdited(Window* control, const std::u16string& text) {
  if (Window* w = Live(control)) {
    w->text = text;
  }
}

void NotifyShowState(Window* window, bool minimized) {
  if (Window* w = Live(window)) {
    w->minimized = minimized;
    w->visible = true;
  }
}

void NotifyMoved(Window* window, const Rect& rect) {
  if (Window* w = Live(window)) {
    w->rect = rect;
  }
}

}  // namespace srd
