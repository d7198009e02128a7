#pragma once

// Puts the terminal on standard input into raw mode for interactive typing and guarantees it is restored:
// on normal return, on exit() and on SIGINT, SIGTERM and SIGHUP (the handler restores, then lets the signal
// take its usual effect).

namespace srd::sender {

// Enters raw mode. False (errno set) when standard input is not a terminal or cannot be changed.
bool EnterRawMode();
// Restores the saved settings; harmless when raw mode was never entered or is already left.
void LeaveRawMode();

}  // namespace srd::sender
