#pragma once

#include <algorithm>
#include <chrono>

namespace srd {

// One moment by which a whole exchange with an outside program must be over, however many reads it takes:
// a peer that answers a byte at a time cannot stretch it.
class Deadline {
 public:
  explicit Deadline(int limitMs)
      : at_(std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(limitMs, 0))) {}
  // The milliseconds left, never negative: what poll() is given.
  int LeftMs() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1 << 30));
  }
  bool Over() const { return std::chrono::steady_clock::now() >= at_; }
  // The earlier of two.
  static Deadline Earlier(const Deadline& a, const Deadline& b) { return a.at_ < b.at_ ? a : b; }

 private:
  std::chrono::steady_clock::time_point at_;
};

}  // namespace srd
