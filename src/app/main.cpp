// strokerelayd: wiring only. The stop signals are blocked (and the write failure signals ignored) before any
// thread exists, the window backend is chosen, and the key injection device is made only once the main
// window is open, so that a second start (which only brings the first forward) creates nothing.

#include <clocale>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/paired_start.h"
#include "platform/choice/key_backend_choice.h"
#include "platform/choice/ui_backend_choice.h"
#include "platform/keys/key_sink.h"
#include "platform/sys/session_bus.h"
#include "platform/sys/signals.h"
#include "platform/ui/window_layer.h"
#include "receiver/sealed_receive.h"
#include "seal/paired_receiver.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"

int main(int argc, char** argv) {
  srd::StartChoices choices;
  if (const std::optional<int> answered = srd::AnswerCommandLine(argc, argv, choices)) {
    return *answered;
  }
  if (choices.port) {
    srd::SetShellStartPort(*choices.port);
  }
  // Before the window toolkit or a layout source looks for a session bus, and before any thread exists.
  srd::DoWithoutSessionBusWhereThereIsNone();
  // A key file that cannot be trusted stops the start: never a silent fall back to typing what anyone sends.
  std::unique_ptr<srd::seal::PairedReceiver> paired;
  if (const std::optional<int> refused = srd::LoadPairedMode(paired)) {
    return *refused;
  }
  srd::BlockStopSignals();
  srd::IgnoreWriteFailureSignals();  // a log reader that went away must not take the program with it
  std::setlocale(LC_CTYPE, "");      // the host name is converted from the locale's encoding

  srd::InitWindowLayer(srd::CreateUiBackend());
  srd::CloseWindowsOnStopSignals();

  std::unique_ptr<srd::KeyBackend> keys;
  srd::InstallPairedReceiver(paired.get());
  srd::SetShellOpenedHook([&keys, &paired] {
    if (paired) {
      srd::TellPairedMode();
    }
    // The main window is open, so this process holds the single-instance lock: what the XTest backend
    // records there can only be read again by a later start, once this one has gone.
    keys = srd::ChooseKeyBackend(srd::InstanceLockDirectory());
    srd::InstallKeyBackend(keys.get());
  });
  const std::int32_t exitCode = srd::ShellMain(srd::ShellResources(), nullptr, u"", srd::SW_SHOWNORMAL);

  if (keys) {
    keys->ReleaseAll();
  }
  srd::InstallKeyBackend(nullptr);
  srd::InstallPairedReceiver(nullptr);
  keys.reset();
  // The instance lock goes with the window layer: only now that the key sink has put back what it changed,
  // so that the next start never meets this one's ending.
  srd::ShutdownWindowLayer();
  return exitCode;
}
