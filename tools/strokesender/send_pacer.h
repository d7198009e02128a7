#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

// How fast the sender may send batches so that the receiver loses none. UDP tells the sender nothing of the
// receiver, so the sender keeps a model of it: the receiver injects each key event in a fixed time, after a
// fixed cost per datagram, and its socket queue absorbs what arrives while it is busy. The pacer lets a
// datagram go when, by the model's reckoning, fewer than a set number of sent datagrams still wait in that
// queue: a short text goes out at once and arrives as fast as the receiver injects, a long one at the
// model's pace, and a receiver slower than the model fills only the room left in its queue.

namespace srd::sender {

struct ReceiverModel {
  std::chrono::nanoseconds perEvent;     // injecting one key event
  std::chrono::nanoseconds perDatagram;  // waking, receiving and decoding one datagram
  std::size_t datagramsAhead;            // datagrams allowed to wait in the receiver's queue
};

// strokerelayd injecting through XTest into an X server on a 2-core machine, the slowest of its key sinks,
// with its socket's default receive queue (212992 bytes), which holds 92 full 1024-byte datagrams; keeping
// at most 30 of them waiting leaves room for a receiver slower than the model. Measured with `bench_sender
// pace` (scripts/bench, docs/performance.md): bursts cost 6 to 14 µs per event end to end, depending on the
// other work on the machine, and steady streams lost datagrams at up to 12 µs per event under load; this is
// twice that.
inline constexpr ReceiverModel kSlowestReceiver{std::chrono::microseconds(24), std::chrono::microseconds(50),
                                                30};

class SendPacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SendPacer(const ReceiverModel& model) : model_(model) {}

  // The earliest time at or after `now` at which the next datagram may go.
  Clock::time_point NextSendTime(Clock::time_point now);
  // Notes a datagram of `events` key events sent at `at`.
  void Sent(Clock::time_point at, std::size_t events);

 private:
  ReceiverModel model_;
  // When the model's receiver finishes each sent datagram it has not finished by the last look, in order.
  std::deque<Clock::time_point> finishes_;
};

}  // namespace srd::sender
