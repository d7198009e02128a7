#include "platform/ui/window_layer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/sys/signals.h"
#include "platform/sys/single_instance.h"
#include "platform/ui/ui_backend.h"

namespace srd {
namespace {

// Dialog base units for converting template positions to pixels (9 pt Japanese gothic at 96 dpi).
constexpr int kBaseUnitX = 7;
constexpr int kBaseUnitY = 13;
// How long a second start keeps trying to reach a running instance that holds the lock.
constexpr int kComeForwardTimeoutMs = 5000;

struct ModalRun {
  Window* dialog = nullptr;
  bool ended = false;
  LResult result = -1;
};

struct Layer {
  std::unique_ptr<UiBackend> backend;
  std::map<std::u16string, WindowClass> classes;
  std::unordered_map<const Window*, std::unique_ptr<Window>> windows;
  std::vector<Window*> topLevelOrder;  // creation order, for look-up and signal delivery
  std::vector<ModalRun*> modalRuns;
  std::string instanceDirectory;
  // Instance names this process looked up and found free: the lock is held until a window claims it.
  std::map<std::string, std::unique_ptr<InstanceLock>> reservations;
  // Top-level windows that hold an instance lock and answer come-forward requests.
  std::map<Window*, std::unique_ptr<InstanceLock>> listeners;
  int signalFd = -1;
};

Layer* g_layer = nullptr;

// The queue is shared with other threads (PostMessage); everything else is interface-thread only.
std::mutex g_queueLock;
std::deque<Msg> g_queue;
bool g_quitPending = false;
int g_quitCode = 0;
std::atomic<UiBackend*> g_wakeTarget{nullptr};

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Window* Live(const Window* window) {
  if (g_layer == nullptr || window == nullptr) {
    return nullptr;
  }
  auto it = g_layer->windows.find(window);
  return it == g_layer->windows.end() ? nullptr : it->second.get();
}

Window* AddWindow(std::unique_ptr<Window> window) {
  Window* raw = window.get();
  g_layer->windows.emplace(raw, std::move(window));
  if (raw->parent != nullptr) {
    raw->parent->children.push_back(raw);
  }
  return raw;
}

int DluToPixelsX(int dlu) {
  return static_cast<int>(std::lround(dlu * kBaseUnitX / 4.0));
}
int DluToPixelsY(int dlu) {
  return static_cast<int>(std::lround(dlu * kBaseUnitY / 8.0));
}

bool IsDescendant(const Window* window, const Window* ancestor) {
  for (const Window* w = window; w != nullptr; w = w->parent) {
    if (w == ancestor) {
      return true;
    }
  }
  return false;
}

LResult DefDialogProc(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam) {
  if (message == WM_CLOSE) {
    // A dialog's close button means Cancel; the dialog's handler decides what Cancel does.
    return SendMessage(dialog, WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), 0);
  }
  (void)wParam;
  (void)lParam;
  return 0;
}

LResult Deliver(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
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

void StartAnswering(Window* window) {
  const std::string name = InstanceName(ToUtf8(window->className), ToUtf8(window->text));
  auto reserved = g_layer->reservations.find(name);
  if (reserved == g_layer->reservations.end()) {
    return;
  }
  std::unique_ptr<InstanceLock> lock = std::move(reserved->second);
  g_layer->reservations.erase(reserved);
  const int fd = lock->Listen();
  InstanceLock* raw = lock.get();
  g_layer->listeners[window] = std::move(lock);
  if (fd >= 0) {
    g_layer->backend->WatchFd(fd, [raw, window] {
      if (raw->AcceptComeForwardRequest() && Live(window) != nullptr) {
        SetForegroundWindow(WithOwnedPopups(window));
      }
    });
  }
}

void StopAnswering(Window* window) {
  auto it = g_layer->listeners.find(window);
  if (it == g_layer->listeners.end()) {
    return;
  }
  if (it->second->ListenFd() >= 0) {
    g_layer->backend->UnwatchFd(it->second->ListenFd());
  }
  g_layer->listeners.erase(it);
}

std::string InstanceDirectory() {
  return g_layer->instanceDirectory.empty() ? DefaultInstanceDirectory() : g_layer->instanceDirectory;
}

Window* MakeDialog(Instance instance, const DialogTemplate* dialogTemplate, Window* parentOrOwner,
                   DialogProc proc, bool modal) {
  if (g_layer == nullptr || dialogTemplate == nullptr) {
    return nullptr;
  }
  auto dialog = std::make_unique<Window>();
  dialog->kind = WindowKind::Dialog;
  dialog->className = u"Dialog";
  dialog->text = dialogTemplate->caption;
  dialog->style = dialogTemplate->style;
  dialog->exStyle = dialogTemplate->exStyle;
  dialog->id = ID_NONE;
  dialog->instance = instance;
  dialog->dialogTemplate = dialogTemplate;
  dialog->dialogProc = proc;
  dialog->modal = modal;
  Rect origin;
  if ((dialogTemplate->style & WS_CHILD) != 0 && !modal) {
    dialog->parent = parentOrOwner;
  } else {
    dialog->owner = parentOrOwner;
    if (parentOrOwner != nullptr) {
      GetWindowRect(parentOrOwner, &origin);
    }
  }
  const int left = origin.left + DluToPixelsX(dialogTemplate->x);
  const int top = origin.top + DluToPixelsY(dialogTemplate->y);
  dialog->rect =
      Rect{left, top, left + DluToPixelsX(dialogTemplate->cx), top + DluToPixelsY(dialogTemplate->cy)};
  Window* raw = AddWindow(std::move(dialog));
  g_layer->backend->OnWindowCreated(raw);

  for (const ControlTemplate& c : dialogTemplate->controls) {
    auto control = std::make_unique<Window>();
    control->kind = WindowKind::Control;
    control->className = c.className;
    control->text = c.text;
    control->style = c.style;
    control->exStyle = c.exStyle;
    control->id = c.id;
    control->parent = raw;
    control->instance = instance;
    control->controlTemplate = &c;
    control->visible = (c.style & WS_VISIBLE) != 0;
    control->enabled = (c.style & WS_DISABLED) == 0;
    if (c.iconId != 0 && instance != nullptr) {
      control->icon = instance->FindIcon(c.iconId);
    }
    const int x = DluToPixelsX(c.x);
    const int y = DluToPixelsY(c.y);
    control->rect = Rect{x, y, x + DluToPixelsX(c.cx), y + DluToPixelsY(c.cy)};
    Window* rawControl = AddWindow(std::move(control));
    g_layer->backend->OnWindowCreated(rawControl);
  }
  return raw;
}

}  // namespace

// --- Layer lifetime
// -------------------------------------------------------------------------------------------

bool InitWindowLayer(std::unique_ptr<UiBackend> backend) {
  if (g_layer != nullptr || !backend) {
    return false;
  }
  g_layer = new Layer;
  g_layer->backend = std::move(backend);
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.clear();
    g_quitPending = false;
    g_quitCode = 0;
  }
  g_wakeTarget.store(g_layer->backend.get());
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
  g_wakeTarget.store(nullptr);
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    g_queue.clear();
    g_quitPending = false;
  }
  delete g_layer;
  g_layer = nullptr;
}

UiBackend* CurrentUiBackend() {
  return g_layer != nullptr ? g_layer->backend.get() : nullptr;
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
      bool posted = false;
      for (Window* w : g_layer->topLevelOrder) {
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

// --- Windows
// --------------------------------------------------------------------------------------------------

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
  auto window = std::make_unique<Window>();
  window->kind = WindowKind::TopLevel;
  window->className = cls.className;
  window->text = title;
  window->style = style;
  window->exStyle = exStyle;
  window->owner = Live(parent);
  window->instance = instance;
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
  Window* raw = AddWindow(std::move(window));
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
  Window* w = Live(window);
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

Window* FindWindow(std::u16string_view className, std::u16string_view title) {
  if (g_layer == nullptr) {
    return nullptr;
  }
  for (Window* w : g_layer->topLevelOrder) {
    if (!w->destroying && w->className == className && w->text == title) {
      return w;
    }
  }
  const std::string name = InstanceName(ToUtf8(className), ToUtf8(title));
  if (g_layer->reservations.count(name) != 0) {
    return nullptr;
  }
  std::unique_ptr<InstanceLock> lock;
  switch (InstanceLock::Acquire(InstanceDirectory(), name, &lock)) {
    case InstanceLock::Result::Acquired:
      g_layer->reservations[name] = std::move(lock);
      return nullptr;
    case InstanceLock::Result::HeldElsewhere: {
      auto remote = std::make_unique<Window>();
      remote->kind = WindowKind::Remote;
      remote->className = className;
      remote->text = title;
      remote->remoteName = name;
      return AddWindow(std::move(remote));
    }
    case InstanceLock::Result::Failed:
      break;
  }
  // No usable directory for the lock: this process cannot tell, and runs.
  return nullptr;
}

Window* WithOwnedPopups(Window* window) {
  return reinterpret_cast<Window*>(reinterpret_cast<std::uintptr_t>(window) | 1u);
}

bool SetForegroundWindow(Window* window) {
  const auto bits = reinterpret_cast<std::uintptr_t>(window);
  const bool withPopups = (bits & 1u) != 0;
  Window* w = Live(reinterpret_cast<Window*>(bits & ~static_cast<std::uintptr_t>(1u)));
  if (w == nullptr) {
    return false;
  }
  if (w->kind == WindowKind::Remote) {
    return AskInstanceToComeForward(InstanceDirectory(), w->remoteName, kComeForwardTimeoutMs);
  }
  if (w->minimized || !w->visible) {
    ShowWindow(w, SW_RESTORE);
  }
  g_layer->backend->BringToFront(w);
  if (withPopups) {
    for (const auto& [key, other] : g_layer->windows) {
      if (other->owner == w && other->visible) {
        g_layer->backend->BringToFront(other.get());
      }
    }
  }
  return true;
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
  Window* w = Live(window);
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

const AcceleratorTable* LoadAccelerators(Instance instance, int id) {
  (void)instance;
  (void)id;
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

// --- Dialogs
// --------------------------------------------------------------------------------------------------

Window* CreateDialogIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* parent,
                                  DialogProc proc, LParam initParam) {
  if (g_layer == nullptr || (parent != nullptr && Live(parent) == nullptr)) {
    return nullptr;
  }
  Window* dialog = MakeDialog(instance, dialogTemplate, parent, proc, false);
  if (dialog == nullptr) {
    return nullptr;
  }
  Deliver(dialog, WM_INITDIALOG, 0, initParam);
  if (Live(dialog) == nullptr) {
    return nullptr;
  }
  if ((dialog->style & WS_VISIBLE) != 0) {
    ShowWindow(dialog, SW_SHOW);
  }
  return dialog;
}

LResult DialogBoxIndirectParam(Instance instance, const DialogTemplate* dialogTemplate, Window* owner,
                               DialogProc proc, LParam initParam) {
  if (g_layer == nullptr || (owner != nullptr && Live(owner) == nullptr)) {
    return -1;
  }
  Window* dialog = MakeDialog(instance, dialogTemplate, owner, proc, true);
  if (dialog == nullptr) {
    return -1;
  }
  ModalRun run;
  run.dialog = dialog;
  g_layer->modalRuns.push_back(&run);
  const bool ownerWasEnabled = owner != nullptr && !EnableWindow(owner, false);
  Deliver(dialog, WM_INITDIALOG, 0, initParam);
  if (!run.ended && Live(dialog) != nullptr) {
    ShowWindow(dialog, SW_SHOW);
    g_layer->backend->OnModal(dialog, owner, true);
    while (!run.ended && Live(dialog) != nullptr) {
      Msg msg;
      const int got = GetMessage(&msg, nullptr, 0, 0);
      if (got <= 0) {
        // The quit belongs to the outer loop: put it back and end this run.
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (!IsDialogMessage(dialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
      }
    }
    if (Live(dialog) != nullptr) {
      g_layer->backend->OnModal(dialog, owner, false);
    }
  }
  g_layer->modalRuns.erase(std::remove(g_layer->modalRuns.begin(), g_layer->modalRuns.end(), &run),
                           g_layer->modalRuns.end());
  if (ownerWasEnabled && Live(owner) != nullptr) {
    EnableWindow(owner, true);
  }
  DestroyWindow(dialog);
  return run.ended ? run.result : -1;
}

bool EndDialog(Window* dialog, LResult result) {
  Window* d = Live(dialog);
  if (d == nullptr || d->kind != WindowKind::Dialog) {
    return false;
  }
  d->dialogEnded = true;
  d->dialogResult = result;
  for (ModalRun* run : g_layer->modalRuns) {
    if (run->dialog == d) {
      run->ended = true;
      run->result = result;
      return true;
    }
  }
  // A modeless dialog just goes out of sight.
  ShowWindow(d, SW_HIDE);
  return true;
}

// --- Messages
// -------------------------------------------------------------------------------------------------

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
  Window* w = Live(window);
  if (w == nullptr) {
    return 0;
  }
  return Deliver(w, message, wParam, lParam);
}

namespace {

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

int TranslateAccelerator(Window* window, const AcceleratorTable* table, Msg* msg) {
  (void)window;
  (void)table;
  (void)msg;
  return 0;
}

bool TranslateMessage(const Msg* msg) {
  // Backends deliver text straight into their edit boxes; no key message needs a character message.
  (void)msg;
  return false;
}

LResult DispatchMessage(const Msg* msg) {
  if (msg == nullptr || msg->window == nullptr) {
    return 0;
  }
  return SendMessage(msg->window, msg->message, msg->wParam, msg->lParam);
}

LResult DefWindowProc(Window* window, std::uint32_t message, WParam wParam, LParam lParam) {
  (void)wParam;
  (void)lParam;
  if (message == WM_CLOSE) {
    DestroyWindow(window);
  }
  return 0;
}

// --- The handheld shell's services
// --------------------------------------------------------------------------

bool CreateMenuBar(MenuBarInfo* info) {
  if (g_layer == nullptr || info == nullptr || Live(info->parent) == nullptr ||
      (info->flags & SHCMBF_FROM_RESOURCE) == 0 || info->resourceModule == nullptr) {
    return false;
  }
  const MenuResource* menu = info->resourceModule->FindMenu(info->menuId);
  if (menu == nullptr) {
    return false;
  }
  auto bar = std::make_unique<Window>();
  bar->kind = WindowKind::MenuBar;
  bar->className = u"MenuBar";
  bar->parent = info->parent;
  bar->id = info->menuId;
  bar->instance = info->resourceModule;
  bar->menu = menu;
  bar->visible = true;
  Window* raw = AddWindow(std::move(bar));
  g_layer->backend->OnWindowCreated(raw);
  if (!g_layer->backend->OnMenuBar(raw, *menu)) {
    DestroyWindow(raw);
    return false;
  }
  info->menuBar = raw;
  return true;
}

bool ShellInitDialog(const ShellDialogInit* init) {
  if (init == nullptr) {
    return false;
  }
  Window* d = Live(init->dialog);
  if (d == nullptr) {
    return false;
  }
  if ((init->mask & SHIDIM_FLAGS) != 0) {
    d->shellDialogFlags = init->flags;
    Window* frame = Live(d->owner) != nullptr ? d->owner : Live(d->parent);
    if ((init->flags & SHIDIF_SIZEDLGFULLSCREEN) != 0 && frame != nullptr) {
      Rect r;
      GetWindowRect(frame, &r);
      d->rect = r;
      g_layer->backend->OnMoved(d);
    }
  }
  g_layer->backend->OnShellDialogInit(d);
  return true;
}

bool ShellHandleActivate(Window* window, WParam wParam, LParam lParam, ShellActivationInfo* info,
                         std::uint32_t flags) {
  (void)window;
  (void)wParam;
  (void)lParam;
  (void)info;
  (void)flags;
  return true;
}

bool ShellHandleSettingChange(Window* window, WParam wParam, LParam lParam, ShellActivationInfo* info) {
  (void)window;
  (void)wParam;
  (void)lParam;
  (void)info;
  return true;
}

// --- Entry points for backends
// --------------------------------------------------------------------------------

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
