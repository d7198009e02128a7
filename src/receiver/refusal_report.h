#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The line that says datagrams were refused in the paired mode, at most one every REFUSAL_LINE_INTERVAL:
//   strokerelayd: refused N datagrams from ADDRESS (not sealed with this receiver's key)
// Counts wait per sender address, for a few addresses at a time; a flood from many addresses is still
// refused, but only the addresses already waiting are counted.

namespace srd {

inline constexpr std::chrono::seconds REFUSAL_LINE_INTERVAL{5};
inline constexpr std::size_t REFUSAL_ADDRESSES = 8;

class RefusalReport {
 public:
  using Clock = std::chrono::steady_clock;

  // One refused datagram from the IPv4 address (network byte order).
  void Count(std::uint32_t address, Clock::time_point now);
  // Writes the line for the address that waited longest, when the interval since the last line has passed.
  void Tell(Clock::time_point now);

 private:
  struct Waiting {
    std::uint32_t address = 0;
    std::uint64_t count = 0;  // 0: the slot is free
    Clock::time_point since;
  };
  Waiting waiting_[REFUSAL_ADDRESSES];
  Clock::time_point nextLine_{Clock::time_point::min()};
};

}  // namespace srd
