#pragma once

#include <string>

namespace srd::test {

// The WM_CLASS of an X window as "instance/class", read over a connection of its own; empty if unreadable.
std::string XWindowClass(const std::string& displayName, unsigned long window);

}  // namespace srd::test
