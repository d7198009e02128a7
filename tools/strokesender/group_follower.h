#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_keymap.h"
#include "platform/layout/system_layout.h"

// Which of the keyboard's layouts a key of the capture window was typed with. A keymap with several layouts
// (groups: "us,de") switches among them with a key chord or a panel, and only the focused window learns
// which one is active; what it does learn with each key is the keysym that key gave. The follower keeps the
// layout in use as long as its key gives that keysym, and otherwise moves to the first layout whose key
// does, so a switch made while typing, or while the window was in the background, is followed from the
// first key that tells it.

namespace srd::sender {

class GroupFollower {
 public:
  // groups: the layouts of the keymap's groups, in group order (at least one); active: the group in use now
  // (the first when out of range).
  GroupFollower(const std::vector<LayoutName>& groups, std::size_t active);

  // The layout for a key with this Linux key code that gave this keysym (0: none known; the layout in use
  // stays).
  const KeyboardLayout& LayoutFor(std::uint16_t linuxCode, std::uint32_t keysym);
  // How to read the keyboard's layouts again. When a key's keysym is given by none of the layouts known, the
  // keymap itself may have changed (a new one loaded, not a group switch): it is read again, at most once a
  // second, and followed when it differs. Empty: never.
  void SetReread(std::function<KeyboardGroups()> reread) { reread_ = std::move(reread); }
  const KeyboardLayout& Current() const { return groups_[active_].layout; }
  std::size_t ActiveGroup() const { return active_; }

 private:
  struct Group {
    KeyboardLayout layout;
    std::unique_ptr<LayoutKeymap> keymap;  // nullptr when XKB cannot compile it: never chosen by keysym
  };
  bool Gives(const Group& group, std::uint16_t linuxCode, std::uint32_t keysym) const;
  // The first group whose key gives keysym; false when none does.
  bool Find(std::uint16_t linuxCode, std::uint32_t keysym);
  void Use(const std::vector<LayoutName>& groups, std::size_t active);

  std::vector<Group> groups_;
  std::vector<LayoutName> names_;
  std::size_t active_;
  std::function<KeyboardGroups()> reread_;
  std::chrono::steady_clock::time_point lastReread_{};
};

}  // namespace srd::sender
