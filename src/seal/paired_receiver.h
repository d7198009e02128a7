#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "seal/key.h"
#include "seal/sealed_datagram.h"
#include "seal/sender_order.h"

// The receiving end of the paired mode: opens each datagram with the receiver's key and puts it in its
// sender's order, storing the order record before anything it admits is typed. Used on the worker thread
// only, after LoadOrder on the thread that starts it.

namespace srd::seal {

enum class Opened {
  kType,          // Text() is the key command text to type
  kTypeAfterGap,  // as kType, but datagrams before it were lost for good: release held keys first
  kNothing,       // a repeat of a datagram already typed
  kRefused,       // not sealed with this key, altered, cut short or replayed
};

class PairedReceiver {
 public:
  using Clock = std::chrono::steady_clock;

  PairedReceiver(const Key& key, std::string orderPath);

  // Reads the stored order record. Empty on success or when there is none, else the reason the receiver
  // must not start (the record is not private, or is not one).
  std::string LoadOrder();

  Opened Open(const void* datagram, std::size_t size, Clock::time_point now);
  // After kType or kTypeAfterGap: the opened text, ended by a zero byte.
  const char* Text() const { return text_; }

  // The reason the order record could not be stored at the last try, once; empty otherwise.
  std::string TakeStoreFailure();
  // At an orderly stop: stores the exact numbers. Empty on success, else the reason.
  std::string StoreExact();

 private:
  std::string Store(bool reserve);

  Key key_;
  std::string orderPath_;
  SenderOrder order_;
  std::string storeFailure_;
  bool storeFailureTaken_ = false;
  char text_[SEALED_MAX_BYTES + 1] = {};
};

}  // namespace srd::seal
