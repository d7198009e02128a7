#pragma once

#include <signal.h>
#include <sys/signalfd.h>

// The program blocks its stop signals and reads them only once its loop runs. Start-up waits on its
// surroundings for a second at most; a stop asked for meanwhile ends that wait at once, so that the loop
// takes it without delay.

namespace srd {

inline sigset_t UserStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    sigaddset(&set, signal);
  }
  return set;
}

// Whether a stop signal waits, blocked, to be read.
inline bool StopRequested() {
  sigset_t pending;
  const sigset_t stop = UserStopSignals();
  if (sigpending(&pending) != 0) {
    return false;
  }
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    if (sigismember(&pending, signal) == 1 && sigismember(&stop, signal) == 1) {
      return true;
    }
  }
  return false;
}

// A descriptor that polls readable while a stop signal waits (it is never read: the loop takes the signal),
// or -1.
inline int OpenStopRequestFd() {
  const sigset_t set = UserStopSignals();
  return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

}  // namespace srd
