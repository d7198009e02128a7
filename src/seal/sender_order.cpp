#include "seal/sender_order.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace srd::seal {
namespace {

constexpr char kHeading[] = "strokerelayd sender order 1";

}  // namespace

SenderOrder::Sender* SenderOrder::Find(std::uint64_t id, std::uint64_t start) {
  for (Sender& sender : senders_) {
    if (sender.id == id && sender.start == start) {
      return &sender;
    }
  }
  return nullptr;
}

SenderOrder::Sender* SenderOrder::Add(std::uint64_t id, std::uint64_t start) {
  if (senders_.size() >= SENDER_ORDER_CAPACITY) {
    const auto first = std::min_element(senders_.begin(), senders_.end(),
                                        [](const Sender& a, const Sender& b) { return a.start < b.start; });
    droppedStart_ = std::max(droppedStart_, first->start);
    senders_.erase(first);
  }
  senders_.push_back(Sender{id, start, 0, 0, Clock::time_point::min()});
  return &senders_.back();
}

Admission SenderOrder::Admit(const SealedPlace& place, Clock::time_point now) {
  Sender* sender = Find(place.sender, place.start);
  if (sender == nullptr) {
    if (droppedStart_ != 0 && place.start <= droppedStart_) {
      return Admission::kReplay;  // it may have been typed while its entry existed
    }
    sender = Add(place.sender, place.start);
  }
  if (place.number <= sender->typed) {
    const bool recent =
        sender->lastNew != Clock::time_point::min() && now - sender->lastNew <= SENDER_REPEAT_WINDOW;
    return recent ? Admission::kRepeat : Admission::kReplay;
  }
  const bool gap = place.number != sender->typed + 1;
  sender->typed = place.number;
  sender->lastNew = now;
  if (sender->typed > sender->stored) {
    needsStoring_ = true;
  }
  return gap ? Admission::kAfterGap : Admission::kNext;
}

std::string SenderOrder::Text(bool reserve) {
  std::string text = kHeading;
  char line[96];
  std::snprintf(line, sizeof line, "\ndropped %" PRIu64 "\n", droppedStart_);
  text += line;
  for (Sender& sender : senders_) {
    const std::uint64_t typed = sender.typed;
    sender.stored =
        reserve && typed <= UINT64_MAX - SENDER_ORDER_RESERVE ? typed + SENDER_ORDER_RESERVE : typed;
    std::snprintf(line, sizeof line, "%016" PRIx64 " %" PRIu64 " %" PRIu64 "\n", sender.id, sender.start,
                  sender.stored);
    text += line;
  }
  needsStoring_ = false;
  return text;
}

bool SenderOrder::Parse(const std::string& text) {
  senders_.clear();
  droppedStart_ = 0;
  std::istringstream in(text);
  std::string heading;
  if (!std::getline(in, heading) || heading != kHeading) {
    return false;
  }
  std::string word;
  if (!(in >> word >> droppedStart_) || word != "dropped") {
    droppedStart_ = 0;
    return false;
  }
  std::string id;
  std::uint64_t start = 0;
  std::uint64_t stored = 0;
  while (in >> id >> start >> stored) {
    if (id.size() != 16 || id.find_first_not_of("0123456789abcdef") != std::string::npos) {
      break;
    }
    std::uint64_t value = 0;
    std::from_chars(id.data(), id.data() + id.size(), value, 16);
    Sender* sender = Add(value, start);
    sender->typed = stored;
    sender->stored = stored;
  }
  if (!in.eof()) {
    senders_.clear();
    droppedStart_ = 0;
    return false;
  }
  return true;
}

}  // namespace srd::seal
