#pragma once

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/layout/layout_watch.h"
#include "platform/layout/system_layout.h"
#include "platform/wayland/compositor_keymap.h"
#include "platform/wayland/desktop_layout_source.h"
#include "platform/wayland/keymap_groups.h"

namespace srd {

// The keyboard layout of a Wayland session: the compositor's keymap, and of its layouts the one the desktop
// says is active (the first one where no desktop says). Says on `lines` which layout keys are typed for and
// where that came from, at start and at each change.
class WaylandLayoutWatch final : public LayoutWatch {
 public:
  // The desktops asked, in order; the first that answers is followed. Start-up waits at most about a second
  // for the compositor and the desktops together. A seat with no keyboard yet types for the system's
  // keyboard configuration until one comes; a desktop that is there but missed its time is asked again on
  // the watch's own thread until it answers. `route`, if given, names the way keys are typed ("the
  // compositor's virtual keyboard (sway)"), for the first line to say with the layout.
  static std::unique_ptr<WaylandLayoutWatch> Start(const std::string& displayName, LayoutChanged onChange,
                                                   const std::vector<DesktopLayoutSourceFactory>& desktops,
                                                   std::FILE* lines, std::string* whyNot,
                                                   const std::string& route = {});
  ~WaylandLayoutWatch() override;

  // Every layout of the compositor's keymap, and the one in use as last decided.
  KeyboardGroups Groups();

 private:
  WaylandLayoutWatch(LayoutChanged onChange, std::FILE* lines)
      : onChange_(std::move(onChange)), lines_(lines) {}
  // Asks the desktops in order within limitMs each; true when one answered (it is then followed).
  bool AskDesktops(int limitMs);
  // Asks again, ever more calmly, the desktops that are there but did not answer, until one does.
  void AskAgain();
  void OnKeymap(const std::string& text);
  void OnActive(const ActiveLayout& active);
  // Reports the layout the keymap and the desktop decide, if it is news. Under mutex_.
  void Decide();
  void Say(const std::string& line);  // under mutex_

  std::mutex mutex_;
  LayoutChanged onChange_;
  std::FILE* lines_;
  std::vector<KeymapGroup> groups_;
  std::optional<ActiveLayout> active_;
  std::size_t activeGroup_ = 0;  // of groups_, as last decided
  std::string said_;             // the last line
  std::string route_;
  std::vector<DesktopLayoutSourceFactory> desktops_;
  std::string desktopMissed_;  // why a desktop that is there has not said yet; empty: none is there
  bool deciding_ = false;      // start-up has asked everyone: from now on each change is said
  bool stopping_ = false;
  bool keyboardCame_ = false;  // a first keymap came after start: a busy desktop is asked at once
  std::condition_variable wake_;
  std::thread asker_;
  // Started last and stopped first: their threads call back into the members above.
  std::unique_ptr<CompositorKeymap> keymap_;
  std::unique_ptr<DesktopLayoutSource> desktop_;
};

}  // namespace srd
