#pragma once

#include <signal.h>

// The stop signals (SIGTERM, SIGINT, SIGHUP): blocked in every thread and read from a descriptor, so that the
// interface thread can turn them into an ordinary close request.

namespace srd {

// Blocks the stop signals in the calling thread; threads created afterwards inherit the mask. Call in main
// before any thread exists. False on failure.
bool BlockStopSignals();
// Unblocks them again, e.g. in a child process after fork (children inherit the blocked mask).
bool UnblockStopSignals();
// A non-blocking, close-on-exec signalfd for the stop signals, or -1.
int OpenStopSignalFd();
// Takes one pending stop signal from the descriptor: its number, or 0 when none is pending.
int ReadStopSignal(int fd);

// Blocks the stop signals in the calling thread while it lives, then restores the mask it found: a thread
// created within its scope inherits them blocked from its very first instruction, the creator's mask is left
// as it was.
class StopSignalsBlockedScope {
 public:
  StopSignalsBlockedScope();
  ~StopSignalsBlockedScope();
  StopSignalsBlockedScope(const StopSignalsBlockedScope&) = delete;
  StopSignalsBlockedScope& operator=(const StopSignalsBlockedScope&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace srd
