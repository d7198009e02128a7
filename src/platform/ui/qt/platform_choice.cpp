#include "platform/ui/qt/platform_choice.h"

#include <QDir>
#include <QLibraryInfo>

#include <cstdlib>

#include "platform/x11/display_probe.h"

namespace srd {

namespace {

bool QtWaylandPluginPresent() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

std::string ChooseQtPlatform() {
  if (EnvSet("QT_QPA_PLATFORM")) {
    const std::string asked = std::getenv("QT_QPA_PLATFORM");
    if (asked == "xcb" && !XDisplayAnswers()) {
      return std::string();
    }
    return asked;
  }
  // Qt's X platform ends the process when it cannot connect: look first.
  const bool x = EnvSet("DISPLAY") && XDisplayAnswers();
  const bool wayland = EnvSet("WAYLAND_DISPLAY") && QtWaylandPluginPresent();
  if (wayland && x) {
    return "wayland;xcb";
  }
  if (wayland) {
    return "wayland";
  }
  if (x) {
    return "xcb";
  }
  return std::string();
}

}  // namespace srd
