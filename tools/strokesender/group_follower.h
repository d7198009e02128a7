#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_keymap.h"

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
  const KeyboardLayout& Current() const { return groups_[active_].layout; }
  std::size_t ActiveGroup() const { return active_; }

 private:
  struct Group {
    KeyboardLayout layout;
    std::unique_ptr<LayoutKeymap> keymap;  // nullptr when XKB cannot compile it: never chosen by keysym
  };
  bool Gives(const Group& group, std::uint16_t linuxCode, std::uint32_t keysym) const;

  std::vector<Group> groups_;
  std::size_t active_;
};

}  // namespace srd::sender
