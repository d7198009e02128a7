#include "window_mode.h"

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture_window.h"
#include "layout_typing.h"
#include "platform/sys/signals.h"
#include "platform/ui/qt/platform_choice.h"
#include "platform/ui/qt/translation.h"
#include "udp_sender.h"

namespace srd::sender {
namespace {

// Whether a Qt platform shows the window where the user sits: platforms without a screen (offscreen, minimal)
// have no keyboard to capture. (A predicate rather than a function handing back the platform or an empty one:
// GCC 12 inlines such a string's two returns into a false -Wrestrict warning in optimised builds.)
bool ShowsAWindow(const std::string& platform) {
  return !platform.empty() && platform != "offscreen" && platform != "minimal";
}

// SIGINT, SIGTERM and SIGHUP close the window like its close button, so that the keys held at the receiver
// are let go there first. -1 when the signals cannot be taken this way (they then end the program as usual).
int TakeStopSignals() {
  const int fd = OpenStopSignalFd();
  if (fd >= 0) {
    BlockStopSignals();  // before Qt starts any thread of its own
  }
  return fd;
}

}  // namespace

int RunWindowMode(const Options& options) {
  std::string whyNot;
  const std::string platform = ChooseQtPlatform(&whyNot);
  if (!whyNot.empty()) {
    std::fprintf(stderr, "strokesender: --window cannot open a window, since %s\n", whyNot.c_str());
    return kExitUsage;
  }
  if (!ShowsAWindow(platform)) {
    std::fprintf(stderr,
                 "strokesender: --window needs a display (DISPLAY or WAYLAND_DISPLAY), and none "
                 "answers\n");
    return kExitUsage;
  }
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

  UdpSender sender;
  std::string error;
  // Each key goes the moment it is pressed: the pause between the keys of a typed text has no place here.
  if (!sender.Open(options.host, options.port, 0, error)) {
    std::fprintf(stderr, "strokesender: %s\n", error.c_str());
    return kExitNetwork;
  }
  if (options.sealKey) {
    sender.SealWith(*options.sealKey, options.repeat);
  }

  // The keys are those of this machine's keyboard: of whichever of its layouts each key is typed with, or of
  // the one layout -l names.
  const KeyboardGroups machine =
      options.layout.layout.empty() ? ThisMachinesGroups() : KeyboardGroups{{options.layout}, 0};
  GroupFollower groups(machine.layouts, machine.active);
  if (options.layout.layout.empty()) {
    groups.SetReread([] { return ThisMachinesGroups(); });  // a new keymap loaded while the window is open
  }

  const int stopFd = TakeStopSignals();
  int argc = 1;
  char name[] = "strokesender";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strokesender"));
  InstallInterfaceTranslation();

  const QString target = QStringLiteral("%1:%2").arg(QString::fromStdString(options.host)).arg(options.port);
  CaptureWindow window(
      target,
      [&sender](std::string_view datagram) {
        std::string sendError;
        if (sender.Send(datagram, sendError)) {
          return true;
        }
        std::fprintf(stderr, "strokesender: %s\n", sendError.c_str());
        return false;
      },
      groups);

  QSocketNotifier* stopNotifier = nullptr;
  if (stopFd >= 0) {
    stopNotifier = new QSocketNotifier(stopFd, QSocketNotifier::Read, &window);
    QObject::connect(stopNotifier, &QSocketNotifier::activated, &window, [stopFd, &window] {
      while (ReadStopSignal(stopFd) != 0) {
      }
      window.close();
    });
  }

  window.show();
  window.activateWindow();
  QApplication::exec();
  delete stopNotifier;
  if (stopFd >= 0) {
    close(stopFd);
  }
  return window.Failed() ? kExitNetwork : kExitSent;
}

}  // namespace srd::sender
