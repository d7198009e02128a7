#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/keys/key_sink.h"

namespace srd {

// The one place that chooses how keys are injected, once, at start-up: uinput if /dev/uinput opens for
// writing, else in a Wayland session the desktop's own route that answers (the compositor's virtual keyboard,
// then mutter's remote desktop), else XTest if the display has the XTEST extension, else none (with one line
// on standard error that says what was tried and how to fix it). `recordDirectory`: where the XTest backend
// records what it changes on the display (see XTestOptions); empty: nowhere.
std::unique_ptr<KeyBackend> ChooseKeyBackend(const std::string& recordDirectory);

// The same choice with its inputs spelled out: the uinput device path, the X display name (nullptr or empty:
// no display), where the lines about the choice go, the record directory, and the Wayland compositor of a
// Wayland session (nullptr: not one).
std::unique_ptr<KeyBackend> ChooseKeyBackendFrom(const char* uinputPath, const char* displayName,
                                                 std::FILE* complaints,
                                                 const std::string& recordDirectory = {},
                                                 const char* waylandDisplay = nullptr);

}  // namespace srd
