#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "seal/sealed_datagram.h"

// What the receiver remembers of each sender that shares its key: the number of the last datagram it typed.
// A datagram is typed only when its number is higher, so each is typed once and never after a later one; a
// number more than one higher shows that datagrams between were lost for good.
//
// The record outlives the program: it is stored with every sender's number raised by a reserve, and stored
// again only once a number passes what was stored, so that an end without warning (a crash, a power cut)
// never lets a datagram typed before it be typed again. At an orderly stop the exact numbers are stored.
// The table is bounded: past SENDER_ORDER_CAPACITY senders the one that started first is dropped, and
// from then on any sender that is not in the table and started no later than it is refused.

namespace srd::seal {

inline constexpr std::size_t SENDER_ORDER_CAPACITY = 1024;
// How far beyond the typed number the stored record reaches.
inline constexpr std::uint64_t SENDER_ORDER_RESERVE = 512;
// Copies of a typed datagram that arrive within this time of its sender's latest new datagram are the
// sender's own repeats; later ones are replays.
inline constexpr std::chrono::milliseconds SENDER_REPEAT_WINDOW{3000};
// The stored record's largest size.
inline constexpr std::size_t SENDER_ORDER_FILE_BYTES = 96 * 1024;

enum class Admission {
  kNext,      // the sender's next datagram: type it
  kAfterGap,  // later than the next: datagrams between were lost; release held keys, then type it
  kRepeat,    // typed already, a repeat the sender sent on purpose: nothing to type, nothing to say
  kReplay,    // typed already, or from before what the record holds: a replay, refused
};

class SenderOrder {
 public:
  using Clock = std::chrono::steady_clock;

  // Takes a datagram's place; an admitted one counts as typed from now on.
  Admission Admit(const SealedPlace& place, Clock::time_point now);
  // True when the stored record no longer covers every typed number (Text(true) should be stored before the
  // admitted datagram is typed).
  bool NeedsStoring() const { return needsStoring_; }

  // The record as stored: with the reserve (reserve) or the exact numbers. Marks it stored.
  std::string Text(bool reserve);
  // Reads a stored record; false when it is not one (the table is then empty).
  bool Parse(const std::string& text);

  std::size_t Size() const { return senders_.size(); }

 private:
  struct Sender {
    std::uint64_t id = 0;
    std::uint64_t start = 0;
    std::uint64_t typed = 0;                              // the last number typed (or stored before this run)
    std::uint64_t stored = 0;                             // what the stored record holds for it
    Clock::time_point lastNew{Clock::time_point::min()};  // min: not during this run
  };
  Sender* Find(std::uint64_t id, std::uint64_t start);
  Sender* Add(std::uint64_t id, std::uint64_t start);

  std::vector<Sender> senders_;
  std::uint64_t droppedStart_ = 0;  // the latest start of a dropped sender; 0: none dropped
  bool needsStoring_ = false;
};

}  // namespace srd::seal
