#pragma once

#include <sys/types.h>

#include <string>

#include "support/scoped_temp_dir.h"
#include "support/test_user.h"

namespace srd::test {

// A private GNOME compositor for one test: mutter headless, native Wayland only, one virtual monitor, run as
// an ordinary user on a session bus of its own (which the test, root or not, may also use). Mutter keeps its
// us keymap: the settings that would change it belong to the shell, which is not run.
class MutterDesktop {
 public:
  MutterDesktop() = default;
  ~MutterDesktop() { Stop(); }
  MutterDesktop(const MutterDesktop&) = delete;
  MutterDesktop& operator=(const MutterDesktop&) = delete;

  // False when the bus or mutter did not come up, or mutter's remote desktop is not on the bus.
  bool Start(const TestUser& user);
  void Stop();

  const std::string& RuntimeDir() const { return runtime_.Path(); }
  const std::string& WaylandDisplay() const { return display_; }  // absolute
  const std::string& BusAddress() const { return bus_; }

 private:
  ScopedTempDir runtime_{"srd-mutter"};
  pid_t busPid_ = -1;
  pid_t pid_ = -1;
  std::string display_;
  std::string bus_;
};

}  // namespace srd::test
