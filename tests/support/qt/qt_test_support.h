#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace srd::test {

// Pumps Qt's events until condition() holds; false when the generous limit passed first.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(20000));

// Steps that run one after the other inside a running message loop, driven by a Qt timer: each is called
// again on every tick until it returns true. If the steps stall past the generous limit, every top-level
// widget is asked to close so that the loop under test ends; Finished() then says false.
class Script {
 public:
  using Step = std::function<bool()>;
  explicit Script(std::vector<Step> steps);
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  bool Finished() const { return next_ >= steps_.size(); }
  std::size_t StalledAt() const { return next_; }

 private:
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  void* timer_ = nullptr;
};

}  // namespace srd::test
