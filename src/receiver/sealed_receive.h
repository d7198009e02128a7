#pragma once

#include <cstddef>

#include "net/datagram_endpoint.h"
#include "receiver/refusal_report.h"

// The receive loop's paired mode: while a key is installed, each datagram is opened and put in its sender's
// order before the decoder sees the text; anything else types nothing and is counted in the refusal line.

namespace srd {

namespace seal {
class PairedReceiver;
}

// Installs the paired end the receive loop uses (nullptr: open mode, every datagram goes to the decoder as
// it came). The caller keeps ownership, installs before the worker starts and uninstalls after it ended.
void InstallPairedReceiver(seal::PairedReceiver* paired);
seal::PairedReceiver* InstalledPairedReceiver();

// One run of the receive loop in the paired mode.
class SealedReceive {
 public:
  explicit SealedReceive(seal::PairedReceiver& paired) : paired_(paired) {}
  // The n bytes received from source: typed when sealed with the key and new in its sender's order.
  void Take(const char* area, int n, const SocketAddress& source);
  // Each pass of the loop: the refusal line and a failure to store the order record, when they are due.
  void Pass();
  // As the loop ends: the exact order is stored, so nothing of the reserve is lost for a restart.
  void End();

 private:
  seal::PairedReceiver& paired_;
  RefusalReport refusals_;
};

}  // namespace srd
