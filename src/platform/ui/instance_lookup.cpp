#include <poll.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "platform/sys/single_instance.h"
#include "platform/sys/unicode_text.h"
#include "platform/ui/ui_backend.h"
#include "platform/ui/window_layer.h"
#include "platform/ui/window_layer_state.h"

// One running instance per window class and title: a look-up that finds nothing reserves the name, the window
// that claims it answers later starts' requests to come forward, and a window found in another process is a
// Remote window that asks that process. Whatever keeps the rule from being kept, or whatever a later start's
// request came to, is said in one line on standard error.

namespace srd {

namespace {

// How long a second start keeps trying to reach a running instance that holds the lock, and then waits for
// its answer.
constexpr int kComeForwardTimeoutMs = 5000;
// How long a start waits for an instance that holds the lock but no longer serves (it is ending, and lets the
// lock go once it has put back what it changed) or does not serve yet (it is starting).
constexpr int kHolderWaitMs = 10000;
constexpr int kHolderPollMs = 20;

long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void SayLine(const std::string& line) {
  std::fprintf(stderr, "strokerelayd: %s\n", line.c_str());
  std::fflush(stderr);
}

void SayRuleNotKept(const std::string& why) {
  SayLine("cannot tell whether another instance runs, since " + why + "; running on.");
}

}  // namespace

using namespace layer;

namespace layer {

namespace {

std::string InstanceDirectory(std::string* whyNot) {
  if (g_layer->instanceDirectory.empty()) {
    return DefaultInstanceDirectory(whyNot);
  }
  *whyNot = InstanceDirectoryProblem(g_layer->instanceDirectory);
  return whyNot->empty() ? g_layer->instanceDirectory : std::string();
}

// Restores and raises a window of this process, with its owned pop-ups when asked to.
FrontResult BringForward(LayerWindow* w, bool withPopups, const std::string& activationToken) {
  if (w->minimized || !w->visible) {
    ShowWindow(w, SW_RESTORE);
  }
  const FrontResult result = g_layer->backend->BringToFront(w, activationToken);
  if (withPopups) {
    for (const auto& [key, other] : g_layer->windows) {
      if (other->owner == w && other->visible) {
        g_layer->backend->BringToFront(other.get(), std::string());
      }
    }
  }
  return result;
}

ComeForwardOutcome AnswerComeForward(Window* window, const std::string& activationToken) {
  LayerWindow* w = Live(window);
  if (w == nullptr) {
    return ComeForwardOutcome::NoWindow;
  }
  switch (BringForward(w, true, activationToken)) {
    case FrontResult::Raised:
      return ComeForwardOutcome::Raised;
    case FrontResult::NotRaised:
      return ComeForwardOutcome::NotRaised;
    case FrontResult::NoWindow:
      break;
  }
  return ComeForwardOutcome::NoWindow;
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
  UiBackend* backend = g_layer->backend.get();
  // Without a socket later starts cannot reach this one; they still find the lock held and end.
  (void)lock->Serve(InstanceLock::Service{
      [backend](int fd, std::function<void()> onReadable) {
        return backend->WatchFd(fd, std::move(onReadable));
      },
      [backend](int fd) { backend->UnwatchFd(fd); },
      [window](const std::string& token) { return AnswerComeForward(window, token); },
  });
  g_layer->listeners[window] = std::move(lock);
}

void StopAnswering(Window* window) {
  auto listener = g_layer->listeners.find(window);
  if (listener == g_layer->listeners.end()) {
    return;
  }
  std::unique_ptr<InstanceLock> lock = std::move(listener->second);
  g_layer->listeners.erase(listener);
  lock->StopServing();
  g_layer->retiring[InstanceName(Utf16ToUtf8(window->className), Utf16ToUtf8(window->text))] =
      std::move(lock);
}

void StopServingAll() {
  for (auto& [window, lock] : g_layer->listeners) {
    lock->StopServing();
  }
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
  if (auto retired = g_layer->retiring.find(name); retired != g_layer->retiring.end()) {
    // This process's own window of that name has gone; its lock is still held here.
    g_layer->reservations[name] = std::move(retired->second);
    g_layer->retiring.erase(retired);
    return nullptr;
  }
  std::string whyNot;
  const std::string directory = InstanceDirectory(&whyNot);
  if (directory.empty()) {
    SayRuleNotKept(whyNot);
    return nullptr;
  }
  // The holder of the lock may be running (it answers), starting (it does not listen yet) or ending (it
  // listens no more, and lets the lock go once it has put back what it changed): a start waits, within
  // bounds, until it can ask the holder or take the lock itself.
  const long long deadline = NowMs() + kHolderWaitMs;
  std::unique_ptr<InstanceConnection> connection;
  for (;;) {
    std::unique_ptr<InstanceLock> lock;
    switch (InstanceLock::Acquire(directory, name, &lock, &whyNot)) {
      case InstanceLock::Result::Acquired:
        g_layer->reservations[name] = std::move(lock);
        return nullptr;
      case InstanceLock::Result::Failed:
        SayRuleNotKept(whyNot);
        return nullptr;
      case InstanceLock::Result::HeldElsewhere:
        break;
    }
    uid_t peer = 0;
    switch (InstanceConnection::Connect(directory, name, 0, &connection, &peer)) {
      case InstanceConnection::Result::OtherUser:
        SayRuleNotKept("the instance socket in " + directory + " is served by user " + std::to_string(peer));
        return nullptr;
      case InstanceConnection::Result::Connected:
        if (connection->AskPresence(kComeForwardTimeoutMs) != InstanceConnection::Presence::Ending) {
          break;  // serving, or too busy to say: it is asked to come forward
        }
        connection.reset();  // it stopped serving after it accepted: ending
        [[fallthrough]];
      case InstanceConnection::Result::NoAnswer:
        if (NowMs() < deadline) {
          poll(nullptr, 0, kHolderPollMs);
          continue;
        }
        break;
    }
    break;
  }
  auto remote = NewWindow(WindowKind::Remote, className, title, nullptr);
  remote->remoteConnection = std::move(connection);
  return AddWindow(std::move(remote));
}

std::string InstanceLockDirectory() {
  if (g_layer == nullptr || (g_layer->reservations.empty() && g_layer->listeners.empty())) {
    return {};
  }
  std::string unused;  // the lock is held there, so the directory passed its checks
  return InstanceDirectory(&unused);
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
  if (w->kind != WindowKind::Remote) {
    BringForward(w, withPopups, std::string());
    return true;
  }
  // A later start: the token its desktop started it with lets the running window come forward where the
  // desktop raises windows only with one.
  const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
  const ComeForwardOutcome outcome =
      w->remoteConnection == nullptr
          ? ComeForwardOutcome::NoAnswer
          : w->remoteConnection->AskToComeForward(token != nullptr ? token : "", kComeForwardTimeoutMs);
  const std::string running =
      w->remoteConnection == nullptr
          ? std::string("another instance holds the lock")
          : "already running (process " + std::to_string(w->remoteConnection->Pid()) + ")";
  switch (outcome) {
    case ComeForwardOutcome::Raised:
      SayLine(running + "; its window was brought to the front.");
      break;
    case ComeForwardOutcome::NoWindow:
      SayLine(running + ", without a window.");
      break;
    case ComeForwardOutcome::NotRaised:
      SayLine(running +
              "; its window could not be brought to the front, since the desktop did not allow it.");
      break;
    case ComeForwardOutcome::NoAnswer:
      SayLine(running + ", but did not answer.");
      break;
  }
  return outcome != ComeForwardOutcome::NoAnswer;
}

}  // namespace srd
