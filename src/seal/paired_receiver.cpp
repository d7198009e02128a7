#include "seal/paired_receiver.h"

#include "seal/private_file.h"

namespace srd::seal {

PairedReceiver::PairedReceiver(const Key& key, std::string orderPath)
    : key_(key), orderPath_(std::move(orderPath)) {}

std::string PairedReceiver::LoadOrder() {
  const ReadResult read = ReadPrivateFile(orderPath_, SENDER_ORDER_FILE_BYTES);
  if (read.status == ReadStatus::kRefused) {
    return read.whyNot;
  }
  if (read.status == ReadStatus::kRead && !order_.Parse(read.text)) {
    // Typing on with an empty record would let every datagram typed before be typed again.
    return orderPath_ + " is not a record of the senders' order (strokerelayd --unpair removes it)";
  }
  return {};
}

Opened PairedReceiver::Open(const void* datagram, std::size_t size, Clock::time_point now) {
  if (size > SEALED_MAX_BYTES) {
    return Opened::kRefused;
  }
  SealedPlace place;
  std::size_t length = 0;
  if (!OpenDatagram(key_, static_cast<const std::uint8_t*>(datagram), size, &place, text_, &length)) {
    return Opened::kRefused;
  }
  text_[length] = '\0';
  const Admission admission = order_.Admit(place, now);
  if (admission == Admission::kRepeat) {
    return Opened::kNothing;
  }
  if (admission == Admission::kReplay) {
    return Opened::kRefused;
  }
  if (order_.NeedsStoring()) {
    // Before the datagram is typed: were the program to end just after, the record already holds it.
    Store(true);
  }
  return admission == Admission::kAfterGap ? Opened::kTypeAfterGap : Opened::kType;
}

std::string PairedReceiver::Store(bool reserve) {
  std::string why = WritePrivateFile(orderPath_, order_.Text(reserve));
  if (why.empty()) {
    storeFailure_.clear();
    storeFailureTaken_ = false;
  } else if (storeFailure_.empty()) {
    storeFailure_ = why;
  }
  return why;
}

std::string PairedReceiver::TakeStoreFailure() {
  if (storeFailure_.empty() || storeFailureTaken_) {
    return {};
  }
  storeFailureTaken_ = true;
  return storeFailure_;
}

std::string PairedReceiver::StoreExact() {
  return Store(false);
}

}  // namespace srd::seal
