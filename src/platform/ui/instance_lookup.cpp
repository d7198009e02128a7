#include "platform/sys/single_instance.h"
#include "platform/sys/unicode_text.h"
#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// One running instance per window class and title: a look-up that finds nothing reserves the name, the window
// that claims it answers later starts' requests to come forward, and a window found in another process is a
// Remote window that asks that process.

namespace srd {

namespace {

// How long a second start keeps trying to reach a running instance that holds the lock.
constexpr int kComeForwardTimeoutMs = 5000;

}  // namespace

using namespace layer;

namespace layer {

namespace {

std::string InstanceDirectory() {
  return g_layer->instanceDirectory.empty() ? DefaultInstanceDirectory() : g_layer->instanceDirectory;
}

}  // namespace

void StartAnswering(Window* window) {
  const std::string name = InstanceName(Utf16ToUtf8(window->className), Utf16ToUtf8(window->text));
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

}  // namespace layer

Window* FindWindow(std::u16string_view className, std::u16string_view title) {
  if (g_layer == nullptr) {
    return nullptr;
  }
  for (LayerWindow* w : g_layer->topLevelOrder) {
    if (!w->destroying && w->className == className && w->text == title) {
      return w;
    }
  }
  const std::string name = InstanceName(Utf16ToUtf8(className), Utf16ToUtf8(title));
  if (g_layer->reservations.count(name) != 0) {
    return nullptr;
  }
  std::unique_ptr<InstanceLock> lock;
  switch (InstanceLock::Acquire(InstanceDirectory(), name, &lock)) {
    case InstanceLock::Result::Acquired:
      g_layer->reservations[name] = std::move(lock);
      return nullptr;
    case InstanceLock::Result::HeldElsewhere: {
      auto remote = NewWindow(WindowKind::Remote, className, title, nullptr);
      remote->remoteName = name;
      return AddWindow(std::move(remote));
    }
    case InstanceLock::Result::Failed:
      break;
  }
  // No usable directory for the lock: this process cannot tell, and runs.
  return nullptr;
}

std::string InstanceLockDirectory() {
  if (g_layer == nullptr || (g_layer->reservations.empty() && g_layer->listeners.empty())) {
    return {};
  }
  return InstanceDirectory();
}

Window* WithOwnedPopups(Window* window) {
  return reinterpret_cast<Window*>(reinterpret_cast<std::uintptr_t>(window) | 1u);
}

bool SetForegroundWindow(Window* window) {
  const auto bits = reinterpret_cast<std::uintptr_t>(window);
  const bool withPopups = (bits & 1u) != 0;
  LayerWindow* w = Live(reinterpret_cast<Window*>(bits & ~static_cast<std::uintptr_t>(1u)));
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

}  // namespace srd
