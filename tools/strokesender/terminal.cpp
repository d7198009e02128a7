#include "terminal.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace srd::sender {
namespace {

termios savedSettings;
volatile std::sig_atomic_t rawModeActive = 0;
constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RestoreOnSignal(int signal) {
  // Only async-signal-safe calls here: tcsetattr, signal and raise.
  if (rawModeActive != 0) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
    rawModeActive = 0;
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void RestoreAtExit() {
  LeaveRawMode();
}

}  // namespace

bool EnterRawMode() {
  if (tcgetattr(STDIN_FILENO, &savedSettings) != 0) {
    return false;
  }
  static bool hooksInstalled = false;
  if (!hooksInstalled) {
    hooksInstalled = true;
    std::atexit(RestoreAtExit);
    struct sigaction action {};
    action.sa_handler = RestoreOnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kRestoringSignals) {
      sigaction(signal, &action, nullptr);
    }
  }
  termios raw = savedSettings;
  cfmakeraw(&raw);
  // Keep output post-processing so the program's own messages still start at the left margin.
  raw.c_oflag |= OPOST;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  rawModeActive = 1;
  // TCSADRAIN, not TCSAFLUSH: keys typed while the program started are kept and sent.
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) != 0) {
    rawModeActive = 0;
    return false;
  }
  return true;
}

void LeaveRawMode() {
  if (rawModeActive != 0) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
    rawModeActive = 0;
  }
}

}  // namespace srd::sender
