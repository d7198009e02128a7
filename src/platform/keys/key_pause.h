#pragma once

#include <chrono>

// How a backend that spaces its key events out waits between them. The receive loop installs a pause that
// ends at once when the program is stopping, so a long datagram typed at the desktop's pace never holds a
// stop up; without one installed (at shutdown, in tests) a pause is a plain sleep.

namespace srd {

class KeyPause {
 public:
  virtual ~KeyPause() = default;
  // Waits `duration`; false, without waiting, when no more waiting is wanted (the program is stopping).
  virtual bool Pause(std::chrono::nanoseconds duration) = 0;
};

// Installs the pause that PauseBetweenKeyEvents uses (nullptr: a plain sleep). The caller keeps ownership and
// uninstalls before the pause goes away.
void InstallKeyPause(KeyPause* pause);

// Waits `duration` through the installed pause; false when the wait was refused because the program stops.
bool PauseBetweenKeyEvents(std::chrono::nanoseconds duration);

}  // namespace srd
