#pragma once

#include <sys/types.h>

#include <string>

#include "support/scoped_temp_dir.h"
#include "support/seat_keyboard_standin.h"
#include "support/test_user.h"

namespace srd::test {

// A private sway for one test: headless, run as an ordinary user (sway refuses root), no X, its keyboards
// configured with the given layouts and a stand-in for the user's own keyboard on its seat (the headless
// backend has none). Its Wayland socket and IPC socket are in a runtime directory of the user's.
class SwayDesktop {
 public:
  SwayDesktop() = default;
  ~SwayDesktop() { Stop(); }
  SwayDesktop(const SwayDesktop&) = delete;
  SwayDesktop& operator=(const SwayDesktop&) = delete;

  // "de" or "us,de"; false when sway did not come up.
  bool Start(const TestUser& user, const std::string& layouts);
  void Stop();

  const std::string& RuntimeDir() const { return runtime_.Path(); }
  const std::string& WaylandDisplay() const { return display_; }  // absolute
  const std::string& IpcSocket() const { return ipc_; }
  // Makes layout `index` of the keyboards' layouts the active one, as the user's shortcut does.
  bool SwitchLayout(int index) const;
  // The user's keyboard types a key (a Linux key code).
  bool Tap(unsigned code) { return keyboard_.Tap(code); }

 private:
  ScopedTempDir runtime_{"srd-sway"};
  TestUser user_{};
  pid_t pid_ = -1;
  std::string display_;
  std::string ipc_;
  SeatKeyboardStandIn keyboard_;
};

}  // namespace srd::test
