#pragma once

#include <string>

namespace srd::test {

// Sets a keyboard layout ("de", "us,fr", variant optional) on a test X server: on the core keyboard and on
// every keyboard device, as a desktop's settings do; an XTest key types through its own device's keymap.
// False when setxkbmap failed on the core keyboard.
bool SetServerLayout(const std::string& displayName, const std::string& layouts,
                     const std::string& variants = "");

}  // namespace srd::test
