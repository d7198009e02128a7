#include "group_follower.h"

namespace srd::sender {

GroupFollower::GroupFollower(const std::vector<LayoutName>& groups, std::size_t active) {
  Use(groups, active);
}

void GroupFollower::Use(const std::vector<LayoutName>& groups, std::size_t active) {
  groups_.clear();
  names_ = groups;
  for (const LayoutName& name : groups) {
    groups_.push_back(Group{MakeKeyboardLayout(name), LayoutKeymap::Of(name)});
  }
  if (groups_.empty()) {
    groups_.push_back(Group{UsKeyboardLayout(), LayoutKeymap::Compile(LayoutName{})});
  }
  active_ = active < groups_.size() ? active : 0;
}

bool GroupFollower::Find(std::uint16_t linuxCode, std::uint32_t keysym) {
  for (std::size_t group = 0; group < groups_.size(); ++group) {
    if (Gives(groups_[group], linuxCode, keysym)) {
      active_ = group;
      return true;
    }
  }
  return false;
}

bool GroupFollower::Gives(const Group& group, std::uint16_t linuxCode, std::uint32_t keysym) const {
  if (group.keymap == nullptr) {
    return false;
  }
  const int levels = group.keymap->Levels(linuxCode);
  for (int level = 0; level < levels; ++level) {
    if (group.keymap->Keysym(linuxCode, level) == keysym) {
      return true;
    }
  }
  return false;
}

const KeyboardLayout& GroupFollower::LayoutFor(std::uint16_t linuxCode, std::uint32_t keysym) {
  // Keys that give the same keysym in every layout (modifiers, digits on most) say nothing of a switch.
  if (keysym != 0 && !Gives(groups_[active_], linuxCode, keysym) && !Find(linuxCode, keysym) && reread_) {
    const auto now = std::chrono::steady_clock::now();
    if (lastReread_ == std::chrono::steady_clock::time_point{} ||
        now - lastReread_ >= std::chrono::seconds(1)) {
      lastReread_ = now;
      const KeyboardGroups read = reread_();
      if (!read.layouts.empty() && read.layouts != names_) {
        Use(read.layouts, read.active);
        Find(linuxCode, keysym);
      }
    }
  }
  return Current();
}

}  // namespace srd::sender
