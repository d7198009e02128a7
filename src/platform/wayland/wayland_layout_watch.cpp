#include "platform/wayland/wayland_layout_watch.h"

#include <algorithm>
#include <utility>

namespace srd {

namespace {

// The compositor answers at once when it answers at all; start-up never waits longer than this on it, nor on
// a desktop.
constexpr int kCompositorLimitMs = 1000;
constexpr int kDesktopLimitMs = 500;

}  // namespace

std::unique_ptr<WaylandLayoutWatch> WaylandLayoutWatch::Start(
    const std::string& displayName, LayoutChanged onChange,
    const std::vector<DesktopLayoutSourceFactory>& desktops, std::FILE* lines, std::string* whyNot,
    const std::string& route) {
  std::unique_ptr<WaylandLayoutWatch> watch(new WaylandLayoutWatch(std::move(onChange), lines));
  watch->route_ = route;
  WaylandLayoutWatch* self = watch.get();
  // The desktop first: its answer waits in active_ until the keymap decides with it.
  for (const DesktopLayoutSourceFactory& desktop : desktops) {
    std::string desktopWhyNot;
    watch->desktop_ = desktop([self](const ActiveLayout& active) { self->OnActive(active); }, kDesktopLimitMs,
                              &desktopWhyNot);
    if (watch->desktop_ != nullptr) {
      break;
    }
  }
  auto keymap = CompositorKeymap::Start(
      displayName, [self](const std::string& text) { self->OnKeymap(text); }, kCompositorLimitMs, whyNot);
  bool compiled = false;
  {
    std::lock_guard lock(watch->mutex_);
    compiled = !watch->groups_.empty();
  }
  if (keymap == nullptr || !compiled) {
    if (keymap != nullptr) {
      *whyNot = "the compositor's keymap does not compile";
    }
    return nullptr;
  }
  watch->keymap_ = std::move(keymap);
  return watch;
}

WaylandLayoutWatch::~WaylandLayoutWatch() {
  desktop_.reset();
  keymap_.reset();
}

KeyboardGroups WaylandLayoutWatch::Groups() {
  std::lock_guard lock(mutex_);
  KeyboardGroups groups;
  for (const KeymapGroup& group : groups_) {
    groups.layouts.push_back(group.name);
  }
  groups.active = activeGroup_ < groups.layouts.size() ? activeGroup_ : 0;
  return groups;
}

void WaylandLayoutWatch::OnKeymap(const std::string& text) {
  std::vector<KeymapGroup> groups = KeymapGroups(text);
  std::lock_guard lock(mutex_);
  if (groups.empty()) {
    return;  // a keymap that does not compile changes nothing
  }
  groups_ = std::move(groups);
  Decide();
}

void WaylandLayoutWatch::OnActive(const ActiveLayout& active) {
  std::lock_guard lock(mutex_);
  active_ = active;
  Decide();
}

void WaylandLayoutWatch::Decide() {
  if (groups_.empty()) {
    return;
  }
  const std::size_t count = groups_.size();
  const KeymapGroup* group = &groups_[0];
  std::string where = "compositor keymap";
  LayoutName name;
  if (active_ && active_->index >= 0 && static_cast<std::size_t>(active_->index) < count) {
    group = &groups_[static_cast<std::size_t>(active_->index)];
    where +=
        ", " + active_->where + " " + std::to_string(active_->index + 1) + " of " + std::to_string(count);
  } else if (active_ && active_->index < 0) {
    const auto same = std::find_if(groups_.begin(), groups_.end(),
                                   [&](const KeymapGroup& g) { return g.name == active_->name; });
    // A layout the desktop names that the keymap lacks is still the one the user chose.
    group = same != groups_.end() ? &*same : nullptr;
    where += ", " + active_->where;
  } else if (count > 1) {
    where += ", its first of " + std::to_string(count) + " layouts: no desktop here says which is active";
  }
  if (group != nullptr) {
    activeGroup_ = static_cast<std::size_t>(group - groups_.data());
    name = group->name;
    if (!group->listed) {
      // Read from the keymap itself: say which rule its keys allowed.
      const bool latin = MakeKeyboardLayout(name).Rule() == LayoutRule::kLatinFamily;
      where += std::string("; no layout XKB lists is described so: ") +
               (latin ? "letters and digits where its keymap has them" : "US positions");
    }
  } else {
    name = active_->name;
  }
  const std::string shown = name.keymap != nullptr ? "\"" + name.layout + "\"" : name.Text();
  const std::string line = "strokerelayd: typing for keyboard layout " + shown + " (" + where + ")";
  if (line == said_) {
    return;
  }
  const bool first = said_.empty();
  said_ = line;
  onChange_(name);
  if (lines_ != nullptr) {
    // The first line also says which way keys are typed.
    const std::string said = first && !route_.empty() ? "strokerelayd: typing through " + route_ +
                                                            ", keyboard layout " + shown + " (" + where + ")"
                                                      : line;
    std::fprintf(lines_, "%s\n", said.c_str());
    std::fflush(lines_);
  }
}

}  // namespace srd
