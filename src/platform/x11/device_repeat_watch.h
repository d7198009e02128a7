#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/keys/repeat_suppression.h"

namespace srd {

// Turns off the X server's auto-repeat of one keyboard device that is yet to appear there: the uinput
// sink's virtual keyboard, which the server adds some moments after the kernel creates it. Runs on a thread
// of its own with a connection of its own, looks for the device by name until it is found or `patience` has
// passed, then disconnects. Nothing is put back: the device, and its setting with it, goes when the program
// removes it. Without a display, or when the server goes away, it ends quietly.
class XDeviceRepeatWatch final : public RepeatSuppression {
 public:
  XDeviceRepeatWatch(std::string displayName, std::string deviceName,
                     std::chrono::milliseconds patience = std::chrono::seconds(30));
  // Stops looking and joins the thread.
  ~XDeviceRepeatWatch() override;
  XDeviceRepeatWatch(const XDeviceRepeatWatch&) = delete;
  XDeviceRepeatWatch& operator=(const XDeviceRepeatWatch&) = delete;

  // Waits up to `limit` for the watch to end; true when the device was found and its repeat is off.
  bool WaitFound(std::chrono::milliseconds limit);

 private:
  void Run();

  const std::string displayName_;
  const std::string deviceName_;
  const std::chrono::milliseconds patience_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool ended_ = false;
  bool found_ = false;
  std::thread thread_;  // last: starts once the fields above are set
};

}  // namespace srd
