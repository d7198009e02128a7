#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "platform/ui/qt/backend_context.h"

namespace srd {

// The Qt backend's waiting: Qt's event processing, ended early by Wake from any thread, with the program's
// own descriptors watched by Qt's socket notifiers.
class QtEventPump {
 public:
  explicit QtEventPump(QtBackendContext& context);
  ~QtEventPump();

  QtEventPump(const QtEventPump&) = delete;
  QtEventPump& operator=(const QtEventPump&) = delete;

  void Wait();
  void Wake();
  bool WatchFd(int fd, std::function<void()> onReadable);
  void UnwatchFd(int fd);
  void UnwatchAll() { watches_.clear(); }

 private:
  struct Watch {
    std::function<void()> callback;
    std::unique_ptr<QSocketNotifier> notifier;
    bool ready = false;
  };

  void RunReadyWatches();

  QtBackendContext& context_;
  QObject* waker_;
  std::atomic<bool> woken_{false};
  std::map<int, std::unique_ptr<Watch>> watches_;
};

}  // namespace srd
