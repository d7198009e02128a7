#pragma once

#include <memory>

#include "platform/keys/key_sink.h"

namespace srd {

// The one place that chooses how keys are injected, once, at start-up: uinput if /dev/uinput opens for
// writing, else XTest if the display has the XTEST extension, else none (with one line on standard error that
// says why and how to fix it).
std::unique_ptr<KeyBackend> ChooseKeyBackend();

}  // namespace srd
