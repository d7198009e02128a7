#pragma once

#include <memory>
#include <optional>

// The receiver's side of pairing at the command line and at start-up: --pair and --unpair, and the key file
// that, while it exists, makes the receiver type only datagrams sealed with its key.

namespace srd {

namespace seal {
class PairedReceiver;
}

// --pair: makes the key when there is none and prints its pairing code alone on the last line. Exit code.
int PairCommand();
// --unpair: removes the key (and the senders' order); the receiver is open again. Exit code.
int UnpairCommand();

// At start-up: the paired end when a key file exists (nullptr: open). Nothing when the start may go on;
// otherwise the exit code, after a line saying why the key file or the senders' order stops the start.
std::optional<int> LoadPairedMode(std::unique_ptr<seal::PairedReceiver>& paired);

// The start-up line of the paired mode, once the program holds its single-instance lock.
void TellPairedMode();

}  // namespace srd
