#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/layout/keyboard_layout.h"

namespace srd {

// Something that follows the keyboard layout of a display and reports each change while it lives (on X: the
// XLayoutWatcher of the X module). The layout code itself needs no X libraries; whoever has them supplies
// the watch.
class LayoutWatch {
 public:
  virtual ~LayoutWatch() = default;
};

using LayoutChanged = std::function<void(const LayoutName&)>;
// Reports the display's layout through onChange before it returns, then every change; nullptr when the
// display cannot be followed.
using LayoutWatchFactory =
    std::function<std::unique_ptr<LayoutWatch>(const std::string& displayName, LayoutChanged onChange)>;

}  // namespace srd
