#pragma once

#include <string>

namespace srd::test {

// XKB keymap text compiled from layout names ("de", "us,de"), as a compositor would hand it out; empty when
// XKB has no such layouts.
std::string KeymapTextOf(const std::string& layouts);

}  // namespace srd::test
