#include "window_mode.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture_window.h"
#include "udp_sender.h"
#include "x_display_answers.h"

namespace srd::sender {
namespace {

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

bool QtWaylandPluginPresent() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// The Qt platform that shows the window where the user sits, or empty when there is none. Qt's X platform
// ends the process when it cannot connect, so the X server is asked first; platforms without a screen
// (offscreen, minimal) have no keyboard to capture.
std::string WindowPlatform() {
  if (EnvSet("QT_QPA_PLATFORM")) {
    const std::string asked = std::getenv("QT_QPA_PLATFORM");
    if ((asked == "xcb" && !XDisplayAnswers()) || asked == "offscreen" || asked == "minimal") {
      return {};
    }
    return asked;
  }
  const bool x = EnvSet("DISPLAY") && XDisplayAnswers();
  const bool wayland = EnvSet("WAYLAND_DISPLAY") && QtWaylandPluginPresent();
  if (wayland) {
    return x ? "wayland;xcb" : "wayland";
  }
  return x ? "xcb" : "";
}

// SIGINT, SIGTERM and SIGHUP close the window like its close button, so that the keys held at the receiver
// are let go there first. -1 when the signals cannot be taken this way (they then end the program as usual).
int StopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  const int fd = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd >= 0) {
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);  // before Qt starts any thread of its own
  }
  return fd;
}

}  // namespace

int RunWindowMode(const Options& options) {
  const std::string platform = WindowPlatform();
  if (platform.empty()) {
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

  const int stopFd = StopSignals();
  int argc = 1;
  char name[] = "strokesender";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strokesender"));

  const QString target = QStringLiteral("%1:%2").arg(QString::fromStdString(options.host)).arg(options.port);
  CaptureWindow window(target, [&sender](std::string_view datagram) {
    std::string sendError;
    if (sender.Send(datagram, sendError)) {
      return true;
    }
    std::fprintf(stderr, "strokesender: %s\n", sendError.c_str());
    return false;
  });

  QSocketNotifier* stopNotifier = nullptr;
  if (stopFd >= 0) {
    stopNotifier = new QSocketNotifier(stopFd, QSocketNotifier::Read, &window);
    QObject::connect(stopNotifier, &QSocketNotifier::activated, &window, [stopFd, &window] {
      signalfd_siginfo info;
      while (read(stopFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
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
