#include "platform/ui/qt/input_lag_limit.h"

#include <time.h>

#include <QByteArray>

#include "platform/x11/key_event_time.h"

namespace srd {

bool InputLagLimit::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
  (void)result;
  std::uint32_t serverTime = 0;
  if (eventType != QByteArrayLiteral("xcb_generic_event_t") || !XKeyEventTime(message, &serverTime)) {
    return false;
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nowMs = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                                static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
  return TooLate(serverTime, nowMs);
}

bool InputLagLimit::TooLate(std::uint32_t serverTime, std::uint32_t nowMs) {
  // Unsigned differences: both clocks wrap after 49 days, their difference stays meaningful.
  const std::uint32_t difference = nowMs - serverTime;
  if (!haveOffset_ || static_cast<std::int32_t>(difference - offset_) < 0) {
    haveOffset_ = true;
    offset_ = difference;
  }
  return difference - offset_ > kMaxLagMs;
}

}  // namespace srd
