#pragma once

#include <QObject>

#include <cstdint>

namespace srd {

// Keys can be injected far faster than any window can take them: a flood of them aimed at the program's own
// test box would queue up in the toolkit for minutes, and the window, SIGTERM among what it serves, would
// wait behind them. Key events that reach the application more than kMaxLagMs after the display server
// stamped them are dropped here, before any widget spends anything on them, so that the window never falls
// further behind than that. Their lag is the time between the server's stamp and their arrival, less the
// smallest such difference seen (the offset between the two clocks). Installed as an event filter of the
// application.
class InputLagLimit final : public QObject {
 public:
  static constexpr std::uint32_t kMaxLagMs = 1000;

  explicit InputLagLimit(QObject* parent) : QObject(parent) {}

  // The decision for one key event stamped `serverTime`, arriving at `nowMs` (both in milliseconds, on
  // clocks of their own; either may wrap): true to drop it.
  bool TooLate(std::uint32_t serverTime, std::uint32_t nowMs);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool haveOffset_ = false;
  std::uint32_t offset_ = 0;  // the smallest arrival time less server time seen
};

}  // namespace srd
