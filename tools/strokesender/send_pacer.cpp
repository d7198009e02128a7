#include "send_pacer.h"

#include <algorithm>

namespace srd::sender {

SendPacer::Clock::time_point SendPacer::NextSendTime(Clock::time_point now) {
  while (!finishes_.empty() && finishes_.front() <= now) {
    finishes_.pop_front();
  }
  const std::size_t ahead = std::max<std::size_t>(model_.datagramsAhead, 1);
  if (finishes_.size() < ahead) {
    return now;
  }
  // Finish times only grow, so the queue is short enough once this one has been injected.
  return finishes_[finishes_.size() - ahead];
}

void SendPacer::Sent(Clock::time_point at, std::size_t events) {
  const Clock::time_point start = finishes_.empty() ? at : std::max(at, finishes_.back());
  finishes_.push_back(start + model_.perDatagram + model_.perEvent * static_cast<long>(events));
}

}  // namespace srd::sender
