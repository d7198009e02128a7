#include "platform/sys/signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <initializer_list>

namespace srd {
namespace {

// Every signal whose default action ends the process and that can arrive from outside at any moment: each
// must end it through the shutdown that lets the held keys go. Not here: SIGKILL and SIGSTOP, which cannot be
// caught; the faults a thread raises in itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT),
// after which no clean shutdown can be trusted; and the write failures below, which are ignored.
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
                           SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT}) {
    sigaddset(&set, signal);
  }
  // The real-time signals end the process by default too; those the C library keeps for itself lie below
  // SIGRTMIN.
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
    sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

bool BlockStopSignals() {
  const sigset_t set = StopSignals();
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

bool IgnoreWriteFailureSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return sigaction(SIGPIPE, &ignore, nullptr) == 0 && sigaction(SIGXFSZ, &ignore, nullptr) == 0;
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
