#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_watch.h"

namespace srd {

// The keyboard layout of the receiving machine, as the key backends use it: read once at start and, on X,
// followed on a thread of its own as the display's keymap or active group changes. Reading the current
// layout is one atomic load, safe from any thread while a change is being made.
class ReceiverLayout {
 public:
  // The layout of the display when `watch` can follow it (from then on), else the system's.
  static std::unique_ptr<ReceiverLayout> Start(const char* displayName, const LayoutWatchFactory& watch);
  // A layout that never changes.
  static std::unique_ptr<ReceiverLayout> Fixed(const LayoutName& name);
  ~ReceiverLayout();
  ReceiverLayout(const ReceiverLayout&) = delete;
  ReceiverLayout& operator=(const ReceiverLayout&) = delete;

  const KeyboardLayout& Current() const { return *current_.load(std::memory_order_acquire); }
  // Switches to another layout; the tables are built here, not on the key path.
  void Use(const LayoutName& name);
  // Whether a display is being followed.
  bool FollowsDisplay() const { return watcher_ != nullptr; }
  // Follows the display anew with a fresh watch (its server was replaced, so the old watch lost it): the
  // display's layout is in use when this returns, or the current one stays when the display cannot be
  // followed. Not while another thread calls FollowsDisplay.
  void Rewatch(const std::string& displayName, const LayoutWatchFactory& watch);

 private:
  ReceiverLayout();

  using Clock = std::chrono::steady_clock;
  std::mutex mutex_;
  // The layouts used lately, the most recent last: switching back to one costs no compiling. A reader may
  // still be looking a code up in the previous one, so one that leaves the set is kept a while longer.
  std::vector<std::unique_ptr<KeyboardLayout>> known_;
  std::vector<std::pair<std::unique_ptr<KeyboardLayout>, Clock::time_point>> retired_;
  std::atomic<const KeyboardLayout*> current_;
  std::unique_ptr<LayoutWatch> watcher_;
};

}  // namespace srd
