#include "platform/sys/signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace srd {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

bool BlockStopSignals() {
  const sigset_t set = StopSignals();
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

bool UnblockStopSignals() {
  const sigset_t set = StopSignals();
  return pthread_sigmask(SIG_UNBLOCK, &set, nullptr) == 0;
}

StopSignalsBlockedScope::StopSignalsBlockedScope() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

StopSignalsBlockedScope::~StopSignalsBlockedScope() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int OpenStopSignalFd() {
  const sigset_t set = StopSignals();
  return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

int ReadStopSignal(int fd) {
  signalfd_siginfo info{};
  const ssize_t n = read(fd, &info, sizeof info);
  if (n != static_cast<ssize_t>(sizeof info)) {
    return 0;
  }
  return static_cast<int>(info.ssi_signo);
}

}  // namespace srd
