#include "platform/wayland/wayland_layout_watch.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/wayland/deadline.h"
#include "platform/wayland/stop_request.h"

namespace srd {

namespace {

// Start-up waits no longer than this on the compositor and the desktops together, nor on one desktop.
constexpr int kStartLimitMs = 1000;
constexpr int kDesktopLimitMs = 500;
// A desktop that is there but did not answer is asked again after these pauses, the last one repeated.
constexpr std::chrono::milliseconds kAskAgainPauses[] = {
    std::chrono::milliseconds(250), std::chrono::milliseconds(500), std::chrono::seconds(1),
    std::chrono::seconds(2), std::chrono::seconds(5)};

}  // namespace

std::unique_ptr<WaylandLayoutWatch> WaylandLayoutWatch::Start(
    const std::string& displayName, LayoutChanged onChange,
    const std::vector<DesktopLayoutSourceFactory>& desktops, std::FILE* lines, std::string* whyNot,
    const std::string& route) {
  const Deadline deadline(kStartLimitMs);
  std::unique_ptr<WaylandLayoutWatch> watch(new WaylandLayoutWatch(std::move(onChange), lines));
  watch->route_ = route;
  WaylandLayoutWatch* self = watch.get();
  watch->desktops_ = desktops;
  std::string keymapMissing;
  auto keymap = CompositorKeymap::Start(
      displayName, [self](const std::string& text) { self->OnKeymap(text); }, deadline.LeftMs(),
      &keymapMissing);
  if (keymap == nullptr) {
    *whyNot = keymapMissing;
    return nullptr;
  }
  {
    std::lock_guard lock(watch->mutex_);
    if (keymapMissing.empty() && watch->groups_.empty()) {
      *whyNot = "the compositor's keymap does not compile";
      return nullptr;
    }
  }
  // The desktop's answer waits in active_ until the keymap decides with it. A stop asked for meanwhile is
  // not kept waiting: the desktops are asked later, if at all.
  const bool stop = StopRequested();
  const bool answered = !stop && watch->AskDesktops(std::min(kDesktopLimitMs, deadline.LeftMs()));
  watch->keymap_ = std::move(keymap);
  {
    std::lock_guard lock(watch->mutex_);
    watch->deciding_ = true;
    if (watch->groups_.empty()) {
      // Typed for the system's keyboard configuration until the seat's keyboard brings the compositor's.
      *whyNot = keymapMissing;
      const LayoutName system = SystemLayoutName();
      watch->onChange_(system);
      watch->Say("strokerelayd: typing for keyboard layout " + system.Text() +
                 " (the system's keyboard configuration: " + keymapMissing + ")");
    } else {
      watch->Decide();
    }
    if (!stop && !answered && !watch->desktopMissed_.empty()) {
      watch->asker_ = std::thread([self] { self->AskAgain(); });
    }
  }
  return watch;
}

WaylandLayoutWatch::~WaylandLayoutWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (asker_.joinable()) {
    asker_.join();
  }
  desktop_.reset();
  keymap_.reset();
}

bool WaylandLayoutWatch::AskDesktops(int limitMs) {
  std::string missed;
  for (const DesktopLayoutSourceFactory& desktop : desktops_) {
    DesktopMiss miss;
    auto source = desktop([this](const ActiveLayout& active) { OnActive(active); }, limitMs, &miss);
    if (source != nullptr) {
      std::lock_guard lock(mutex_);
      desktop_ = std::move(source);
      desktopMissed_.clear();
      Decide();
      return true;
    }
    if (miss.askAgain && missed.empty()) {
      missed = miss.why;
    }
  }
  std::lock_guard lock(mutex_);
  desktopMissed_ = missed;
  return false;
}

void WaylandLayoutWatch::AskAgain() {
  std::size_t tried = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      const auto pause = kAskAgainPauses[std::min(tried, std::size(kAskAgainPauses) - 1)];
      wake_.wait_for(lock, pause, [this] { return stopping_ || keyboardCame_; });
      if (stopping_) {
        return;
      }
      keyboardCame_ = false;
    }
    ++tried;
    // Each asking is bounded by the desktop's own limit, and a stop waits at most for that.
    if (AskDesktops(kDesktopLimitMs)) {
      return;
    }
    std::lock_guard lock(mutex_);
    if (desktopMissed_.empty()) {
      return;  // no desktop is there any longer
    }
    Decide();  // the reason may have changed
  }
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
  if (groups_.empty()) {
    keyboardCame_ = true;  // a desktop busy adding that keyboard may answer now
    wake_.notify_all();
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
  if (!deciding_ || groups_.empty()) {
    return;
  }
  const std::size_t count = groups_.size();
  const KeymapGroup* group = &groups_[0];
  std::string where = "compositor keymap";
  const std::string ofCount = " of " + std::to_string(count);
  LayoutName name;
  if (active_ && active_->index && *active_->index < count) {
    group = &groups_[*active_->index];
    where += ", " + active_->where + " " + std::to_string(*active_->index + 1ULL) + ofCount;
  } else if (active_ && active_->index) {
    // An index the keymap lacks says nothing about the keymap in use.
    where += ", its first of " + std::to_string(count) + " layouts: " + active_->where + " " +
             std::to_string(*active_->index + 1ULL) + " is not one of them";
  } else if (active_) {
    const auto same = std::find_if(groups_.begin(), groups_.end(),
                                   [&](const KeymapGroup& g) { return g.name == active_->name; });
    // A layout the desktop names that the keymap lacks is still the one the user chose.
    group = same != groups_.end() ? &*same : nullptr;
    where += ", " + active_->where;
  } else if (count > 1) {
    where += ", its first of " + std::to_string(count) + " layouts: " +
             (desktopMissed_.empty() ? std::string("no desktop here says which is active") : desktopMissed_);
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
  onChange_(name);
  Say(line);
}

void WaylandLayoutWatch::Say(const std::string& line) {
  const bool first = said_.empty();
  said_ = line;
  if (lines_ != nullptr) {
    // The first line also says which way keys are typed.
    static constexpr std::string_view kFor = "strokerelayd: typing for keyboard layout ";
    const std::string said =
        first && !route_.empty() && line.starts_with(kFor)
            ? "strokerelayd: typing through " + route_ + ", keyboard layout " + line.substr(kFor.size())
            : line;
    std::fprintf(lines_, "%s\n", said.c_str());
    std::fflush(lines_);
  }
}

}  // namespace srd
