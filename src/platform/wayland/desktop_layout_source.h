#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// Which of the compositor keymap's layouts is active reaches only the focused window; the desktop that
// switches layouts knows it for everyone. A DesktopLayoutSource asks one desktop and follows its switches.

namespace srd {

// What a desktop says: a group of the keymap by its index, or a layout by its name.
struct ActiveLayout {
  int index = -1;     // the keymap's group; -1: see name
  LayoutName name;    // when index is -1
  std::string where;  // for the user: "KDE Plasma layout" (the group's number follows), or by name
                      // "GNOME input source 1 of 2"
};

class DesktopLayoutSource {
 public:
  virtual ~DesktopLayoutSource() = default;
};

using ActiveLayoutChanged = std::function<void(const ActiveLayout&)>;
// Asks the desktop within limitMs and reports its answer through onChange before returning, then every switch
// from a thread of its own; nullptr with *whyNot set when the desktop is not there or does not answer.
using DesktopLayoutSourceFactory = std::function<std::unique_ptr<DesktopLayoutSource>(
    ActiveLayoutChanged onChange, int limitMs, std::string* whyNot)>;

// The desktops that can say so, in the order they are asked.
std::vector<DesktopLayoutSourceFactory> DesktopLayoutSources();

}  // namespace srd
