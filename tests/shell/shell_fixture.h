#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/ui/headless_ui_backend.h"
#include "receiver/receiver_worker.h"
#include "shell/settings_dialog.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"
#include "support/headless_layer_fixture.h"

namespace srd {

// The window layer on the headless backend, an instance directory of the test's own (so no real running
// instance is ever met), fresh shell values and a ReceiverState whose worker is made but never started.
class ShellFixture : public test::HeadlessLayerFixture {
 protected:
  void SetUp() override {
    HeadlessLayerFixture::SetUp();
    Shell() = ShellValues{};
    state_.worker = std::make_unique<ReceiverWorker>();
  }
  void TearDown() override {
    HeadlessLayerFixture::TearDown();
    Shell() = ShellValues{};
    SetShellOpenedHook(nullptr);
  }
  // The main window as start-up makes it, with the test's state as the current state.
  Window* OpenMain() {
    if (OpenMainWindow(ShellResources(), SW_SHOWNORMAL) != 1) {
      return nullptr;
    }
    Shell().state = &state_;
    return Shell().mainWindow;
  }
  // In the next modal dialog the port edit box gets `text`, then `command` is posted to it as a click.
  void ScriptModal(const char16_t* text, int command) {
    backend_->SetModalHook([text, command](Window* dialog) {
      NotifyTextEdited(GetDlgItem(dialog, SETTINGS_PORT_EDIT), text);
      PostMessage(dialog, WM_COMMAND, MakeWParam(static_cast<std::uint32_t>(command), BN_CLICKED), 0);
    });
  }

  ReceiverState state_;
};

}  // namespace srd
