#pragma once

#include <string>

#include "platform/ui/window_layer.h"

// The shell values: one each per process, set and read on the interface thread only.

namespace srd {

struct ReceiverState;

struct ShellValues {
  Instance moduleInstance = nullptr;
  Window* mainWindow = nullptr;
  Window* menuBar = nullptr;
  Window* mainPanel = nullptr;
  ShellActivationInfo activation{};  // all zero at load; reset by the create message
  ReceiverState* state = nullptr;    // the current ReceiverState
};

ShellValues& Shell();

// The stored port in decimal, as the panel and the settings dialog show it; the default port while no
// ReceiverState is set.
std::u16string StoredPortText();

}  // namespace srd
