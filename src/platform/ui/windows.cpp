#include <algorithm>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// The window tree: classes, top-level windows, their state and geometry, controls by id.

namespace srd {

using namespace layer;

bool RegisterClass(const WindowClass& windowClass) {
  if (g_layer == nullptr || windowClass.className.empty() || windowClass.proc == nullptr) {
    return false;
  }
  // Registering again replaces the class, so a test may register with another handler.
  g_layer->classes[windowClass.className] = windowClass;
  return true;
}

Window* CreateWindowEx(std::uint32_t exStyle, std::u16string_view className, std::u16string_view title,
                       std::uint32_t style, int x, int y, int width, int height, Window* parent,
                       const void* menu, Instance instance, LParam createParam) {
  (void)menu;
  if (g_layer == nullptr) {
    return nullptr;
  }
  auto found = g_layer->classes.find(std::u16string(className));
  if (found == g_layer->classes.end()) {
    return nullptr;
  }
  const WindowClass& cls = found->second;
  auto window = NewWindow(WindowKind::TopLevel, cls.className, title, instance);
  window->style = style;
  window->exStyle = exStyle;
  window->owner = Live(parent);
  window->proc = cls.proc;
  window->icon = cls.icon;
  window->classStyle = cls.style;
  window->background = cls.background;
  const Rect fallback = g_layer->backend->DefaultWindowRect();
  const int left = x == CW_USEDEFAULT ? fallback.left : x;
  const int top = x == CW_USEDEFAULT ? fallback.top : y;
  const int w = width == CW_USEDEFAULT ? fallback.right - fallback.left : width;
  const int h = width == CW_USEDEFAULT ? fallback.bottom - fallback.top : height;
  window->rect = Rect{left, top, left + w, top + h};
  LayerWindow* raw = AddWindow(std::move(window));
  g_layer->topLevelOrder.push_back(raw);
  g_layer->backend->OnWindowCreated(raw);
  if (SendMessage(raw, WM_CREATE, 0, createParam) == -1) {
    DestroyWindow(raw);
    return nullptr;
  }
  if (Live(raw) == nullptr) {
    return nullptr;
  }
  if ((style & WS_VISIBLE) != 0) {
    raw->visible = true;
    g_layer->backend->OnShow(raw, SW_SHOW);
  }
  StartAnswering(raw);
  return raw;
}

bool DestroyWindow(Window* window) {
  LayerWindow* w = Live(window);
  if (w == nullptr) {
    return false;
  }
  if (w->destroying) {
    return true;
  }
  w->destroying = true;
  // Owned windows (dialogs) go first, as they would with their owner.
  std::vector<Window*> owned;
  for (const auto& [key, other] : g_layer->windows) {
    if (other->owner == w) {
      owned.push_back(other.get());
    }
  }
  for (Window* o : owned) {
    DestroyWindow(o);
  }
  w->visible = false;
  Deliver(w, WM_DESTROY, 0, 0);
  const std::vector<Window*> children = w->children;
  for (Window* child : children) {
    DestroyWindow(child);
  }
  StopAnswering(w);
  if (w->kind != WindowKind::Remote) {
    g_layer->backend->OnWindowDestroyed(w);
  }
  if (Window* parent = Live(w->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
  }
  auto& order = g_layer->topLevelOrder;
  order.erase(std::remove(order.begin(), order.end(), w), order.end());
  g_layer->windows.erase(w);
  return true;
}

bool IsWindow(const Window* window) {
  return Live(window) != nullptr;
}

bool ShowWindow(Window* window, int showCommand) {
  Window* w = Live(window);
  if (w == nullptr || w->kind == WindowKind::Remote) {
    return false;
  }
  const bool wasVisible = w->visible;
  switch (showCommand) {
    case SW_HIDE:
      w->visible = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      w->visible = true;
      w->minimized = true;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
    case SW_SHOWMAXIMIZED:
      w->visible = true;
      w->minimized = false;
      break;
    default:  // SW_SHOW, SW_SHOWNA, SW_SHOWNOACTIVATE: shown in the state it has
      w->visible = true;
      break;
  }
  g_layer->backend->OnShow(w, showCommand);
  return wasVisible;
}

bool UpdateWindow(Window* window) {
  LayerWindow* w = Live(window);
  if (w == nullptr || w->kind == WindowKind::Remote) {
    return false;
  }
  g_layer->backend->OnPaint(w);
  Deliver(w, WM_PAINT, 0, 0);
  return true;
}

bool GetWindowRect(Window* window, Rect* rect) {
  const Window* w = Live(window);
  if (w == nullptr || rect == nullptr) {
    return false;
  }
  Rect r = w->rect;
  for (const Window* p = w->parent; p != nullptr; p = p->parent) {
    r.left += p->rect.left;
    r.right += p->rect.left;
    r.top += p->rect.top;
    r.bottom += p->rect.top;
  }
  *rect = r;
  return true;
}

bool MoveWindow(Window* window, int x, int y, int width, int height, bool repaint) {
  Window* w = Live(window);
  if (w == nullptr || w->kind == WindowKind::Remote) {
    return false;
  }
  w->rect = Rect{x, y, x + width, y + height};
  g_layer->backend->OnMoved(w);
  if (repaint) {
    UpdateWindow(w);
  }
  return true;
}

bool EnableWindow(Window* window, bool enable) {
  Window* w = Live(window);
  if (w == nullptr) {
    return false;
  }
  const bool wasDisabled = !w->enabled;
  if (w->enabled != enable) {
    w->enabled = enable;
    g_layer->backend->OnEnabled(w);
  }
  return wasDisabled;
}

bool SetWindowText(Window* window, std::u16string_view text) {
  Window* w = Live(window);
  if (w == nullptr || w->kind == WindowKind::Remote) {
    return false;
  }
  w->text = text;
  g_layer->backend->OnTextChanged(w);
  return true;
}

int GetWindowText(Window* window, char16_t* buffer, int maxCount) {
  const Window* w = Live(window);
  if (buffer == nullptr || maxCount <= 0) {
    return 0;
  }
  if (w == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(maxCount - 1));
  std::copy_n(w->text.data(), n, buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

std::u16string GetWindowText(Window* window) {
  const Window* w = Live(window);
  return w != nullptr ? w->text : std::u16string();
}

Window* GetDlgItem(Window* dialog, int id) {
  const Window* d = Live(dialog);
  if (d == nullptr) {
    return nullptr;
  }
  for (Window* child : d->children) {
    if (child->kind == WindowKind::Control && child->id == id) {
      return child;
    }
  }
  return nullptr;
}

Window* GetParent(Window* window) {
  const Window* w = Live(window);
  if (w == nullptr) {
    return nullptr;
  }
  return w->parent != nullptr ? w->parent : Live(w->owner);
}

const IconResource* LoadIcon(Instance instance, int id) {
  return instance != nullptr ? instance->FindIcon(id) : nullptr;
}

int GetStockObject(int object) {
  return object;
}

const AcceleratorTable* LoadAccelerators(Instance, int) {
  return nullptr;
}

Window* BeginPaint(Window* window, PaintRecord* paint) {
  Window* w = Live(window);
  if (w == nullptr || paint == nullptr) {
    return nullptr;
  }
  paint->paintRect = Rect{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  paint->erase = false;
  return w;
}

bool EndPaint(Window* window, const PaintRecord* paint) {
  return Live(window) != nullptr && paint != nullptr;
}

}  // namespace srd
