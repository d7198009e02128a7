#pragma once

#include <signal.h>

// The stop signals (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1 and every other signal that would end the
// process from outside): blocked in every thread and read from a descriptor, so that the interface thread can
// turn them into an ordinary close request, which lets the held keys go.

namespace srd {

// Blocks the stop signals in the calling thread; threads created afterwards inherit the mask. Call in main
// before any thread exists. False on failure.
bool BlockStopSignals();
// SIGPIPE and SIGXFSZ ignored: a write to a reader that went away, or past the file size limit, fails with
// its error instead of ending the process. The process-wide dispositions; false on failure.
bool IgnoreWriteFailureSignals();
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
