#pragma once

#include <sys/types.h>

#include <string>

#include "support/scoped_temp_dir.h"

namespace srd::test {

// A private weston for one test: the headless backend with XWayland, a seat whose keyboard carries the keymap
// given here (a test module supplies the seat the headless backend lacks), its socket in a runtime directory
// of its own. Ready when Start returns: Wayland clients connect to WaylandDisplay() (an absolute path, so any
// XDG_RUNTIME_DIR will do) and X clients to XDisplayName(). Killed by Stop or the destructor.
class WestonServer {
 public:
  WestonServer() = default;
  ~WestonServer() { Stop(); }
  WestonServer(const WestonServer&) = delete;
  WestonServer& operator=(const WestonServer&) = delete;

  // The keymap as weston.ini's [keyboard] section names it: "de", "us,de" with variants ",nodeadkeys";
  // `nextLayouts` the keymap SwitchKeymap gives the seat. False when weston or XWayland did not come up.
  bool Start(const std::string& layouts, const std::string& variants = "",
             const std::string& nextLayouts = "us");
  // Gives the seat the next keymap, as a user's change of keyboard settings does; weston sends it to every
  // client.
  void SwitchKeymap() const;
  void Stop();

  std::string WaylandDisplay() const { return runtime_.Path() + "/" + kSocket; }
  const std::string& XDisplayName() const { return xDisplay_; }
  const std::string& RuntimeDir() const { return runtime_.Path(); }

  // Presses (down) or releases a key of the seat's keyboard, by Linux key code: the focused window receives
  // it as from a real keyboard. False when the compositor is not there to take it.
  bool Key(int linuxCode, bool down);

 private:
  static constexpr const char* kSocket = "srd-test-wayland";
  bool WaitForXWayland(const std::string& layouts, const std::string& variants);

  ScopedTempDir runtime_{"srd-weston"};
  pid_t pid_ = -1;
  std::string xDisplay_;
};

}  // namespace srd::test
