#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// Which of the compositor keymap's layouts is active reaches only the focused window; the desktop that
// switches layouts knows it for everyone. A DesktopLayoutSource asks one desktop and follows its switches.

namespace srd {

// What a desktop says: a group of the keymap by its index, or a layout by its name.
struct ActiveLayout {
  std::optional<std::uint32_t> index;  // the keymap's group, as the desktop says it (checked against the
                                       // keymap's groups where it is used); none: see name
  LayoutName name;                     // when there is no index
  std::string where;  // for the user: "KDE Plasma layout" (the group's number follows), or by name
                      // "GNOME input source 1 of 2"
};

class DesktopLayoutSource {
 public:
  virtual ~DesktopLayoutSource() = default;
};

using ActiveLayoutChanged = std::function<void(const ActiveLayout&)>;

// Why a desktop gave no answer, and whether it is there all the same (its socket or service exists, it was
// only busy or slow): then it is asked again later.
struct DesktopMiss {
  std::string why;
  bool askAgain = false;
};

// Asks the desktop within limitMs (connecting included) and reports its answer through onChange before
// returning, then every switch from a thread of its own; nullptr with *miss set when the desktop is not
// there or does not answer in time.
using DesktopLayoutSourceFactory = std::function<std::unique_ptr<DesktopLayoutSource>(
    ActiveLayoutChanged onChange, int limitMs, DesktopMiss* miss)>;

// The desktops that can say so, in the order they are asked.
std::vector<DesktopLayoutSourceFactory> DesktopLayoutSources();

}  // namespace srd
