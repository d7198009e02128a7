#pragma once

#include <chrono>
#include <thread>

namespace srd::test {

using Clock = std::chrono::steady_clock;

// Polls condition until it holds or limit passes; the limit is a generous bound, not an expectation.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5),
               std::chrono::milliseconds interval = std::chrono::milliseconds(2)) {
  const auto deadline = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= deadline) {
      return condition();
    }
    std::this_thread::sleep_for(interval);
  }
  return true;
}

}  // namespace srd::test
