#include "platform/x11/device_repeat_watch.h"

#include <X11/Xlib.h>

#include <utility>

#include "platform/x11/device_repeat.h"
#include "platform/x11/quiet_connection.h"

namespace srd {

namespace {

// How often the device list is read while the device has not appeared: one small request each time.
constexpr std::chrono::milliseconds kLookInterval{200};

void MarkLost(Display*, void* lost) {
  *static_cast<bool*>(lost) = true;
}

}  // namespace

XDeviceRepeatWatch::XDeviceRepeatWatch(std::string displayName, std::string deviceName,
                                       std::chrono::milliseconds patience)
    : displayName_(std::move(displayName)),
      deviceName_(std::move(deviceName)),
      patience_(patience),
      thread_([this] { Run(); }) {}

XDeviceRepeatWatch::~XDeviceRepeatWatch() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool XDeviceRepeatWatch::WaitFound(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, limit, [this] { return ended_; });
  return found_;
}

void XDeviceRepeatWatch::Run() {
  Display* display = XOpenDisplay(displayName_.c_str());
  bool found = false;
  if (display != nullptr) {
    bool lost = false;
    RegisterQuietConnection(display);
    XSetIOErrorExitHandler(display, MarkLost, &lost);
    const auto deadline = std::chrono::steady_clock::now() + patience_;
    std::unique_lock lock(mutex_);
    while (!stop_ && !lost && std::chrono::steady_clock::now() < deadline) {
      lock.unlock();
      XDeviceRepeat repeat;
      found = repeat.TurnOff(display, deviceName_.c_str()) && !lost;
      lock.lock();
      if (found) {
        break;
      }
      changed_.wait_for(lock, kLookInterval, [this] { return stop_; });
    }
    lock.unlock();
    XCloseDisplay(display);
    UnregisterQuietConnection(display);
  }
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
    found_ = found;
  }
  changed_.notify_all();
}

}  // namespace srd
