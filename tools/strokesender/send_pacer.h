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

// strokerelayd typing through its uinput keyboard, the slowest of its key sinks: that keyboard writes its
// events at least 3 ms apart, so that the desktop's evdev reader never overflows (docs/performance.md, the
// desktop in a virtual machine), and the worker's sleeps between them wake a little late. The model assumes
// 1.25 times that pace, so a long text never gains on the receiver. Its socket's default receive queue
// (212992 bytes) holds 92 full 1024-byte datagrams; keeping at most 30 of them waiting leaves room for a
// receiver slower than the model. The other sinks (XTest: 6 to 24 µs per event under load, `bench_sender
// pace`) are far faster, so the same model holds for them.
inline constexpr ReceiverModel kSlowestReceiver{std::chrono::microseconds(3750),
                                                std::chrono::microseconds(50), 30};

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
