#include "platform/ui/qt/input_lag_limit.h"

#include <time.h>

#include <QKeyEvent>

namespace srd {

bool InputLagLimit::eventFilter(QObject* watched, QEvent* event) {
  (void)watched;
  // A key event is offered to the shortcuts first and then to each widget on its way to the focus: only its
  // first appearance is timed (spontaneous: it came from the display), and dropping that drops it everywhere.
  if ((event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress &&
       event->type() != QEvent::KeyRelease) ||
      !event->spontaneous()) {
    return false;
  }
  const auto* key = static_cast<const QKeyEvent*>(event);
  if (key->timestamp() == 0) {
    return false;  // made by a test or by the toolkit itself: no server time to go by
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nowMs = static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                                static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
  return TooLate(static_cast<std::uint32_t>(key->timestamp()), nowMs);
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
