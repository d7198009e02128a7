#pragma once

#include "command_line.h"

// `strokesender --window HOST`: the keys typed into a window of the sender's own, sent as they happen.

namespace srd::sender {

// Opens the window and sends until it closes. kExitSent when it was closed, kExitNetwork when the host is not
// found or a datagram could not be sent, kExitUsage without a display (one line on standard error says so).
int RunWindowMode(const Options& options);

}  // namespace srd::sender
