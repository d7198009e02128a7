#pragma once

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

}  // namespace srd
