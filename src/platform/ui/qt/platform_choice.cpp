#include "platform/ui/qt/platform_choice.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/x11/display_probe.h"

namespace srd {

namespace {

bool QtWaylandPluginPresent() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// Where Qt looks for platform plugins, in its order: QT_QPA_PLATFORM_PLUGIN_PATH, then the platforms folder
// under each of QT_PLUGIN_PATH's folders and under Qt's own plugin folder.
QStringList PlatformPluginFolders() {
  QStringList folders;
  const QString pluginPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
  if (!pluginPath.isEmpty()) {
    folders << pluginPath;
  }
  QStringList roots = qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
  roots << QLibraryInfo::path(QLibraryInfo::PluginsPath);
  for (const QString& root : roots) {
    folders << root + QStringLiteral("/platforms");
  }
  return folders;
}

// True when a plugin in one of the folders names `platform` among its keys. The keys are read from the
// plugin's metadata without loading it.
bool PlatformPluginPresent(const QString& platform, const QStringList& folders) {
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList({QStringLiteral("*.so")}, QDir::Files)) {
      const QJsonArray keys = QPluginLoader(dir.filePath(file))
                                  .metaData()
                                  .value(QStringLiteral("MetaData"))
                                  .toObject()
                                  .value(QStringLiteral("Keys"))
                                  .toArray();
      for (const auto& key : keys) {
        if (key.toString().compare(platform, Qt::CaseInsensitive) == 0) {
          return true;
        }
      }
    }
  }
  return false;
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// Whether a compositor accepts a connection where Qt's Wayland platform would connect: a socket handed over
// in WAYLAND_SOCKET, else the socket WAYLAND_DISPLAY names (wayland-0 by default), in XDG_RUNTIME_DIR unless
// it is a path. Like the X platform, Qt's Wayland platform ends the process when it cannot connect.
// Where Qt's Wayland platform would connect, in words for a user: the socket's path (or its name).
std::string WaylandSocketShown() {
  const std::string name = EnvSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
  if (name[0] == '/' || !EnvSet("XDG_RUNTIME_DIR")) {
    return name;
  }
  return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + name;
}

// The display that did not answer, in words that follow "since".
std::string NoCompositorAnswers() {
  return "no Wayland compositor answers at " + WaylandSocketShown();
}
std::string XDisplayUnreachable() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != '\0'
             ? "the X display " + std::string(display) + " cannot be reached"
             : std::string("DISPLAY is not set");
}

bool WaylandDisplayAnswers() {
  if (EnvSet("WAYLAND_SOCKET")) {
    return true;
  }
  const std::string name = EnvSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
  std::string path = name;
  if (name[0] != '/') {
    if (!EnvSet("XDG_RUNTIME_DIR")) {
      return false;
    }
    path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + name;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    return false;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers;
}

// Whether Qt can open one of the platforms asked for ("wayland;xcb", each maybe with ":options") rather than
// end the process: it has the platform's plugin and, for X and Wayland, a display that answers. Otherwise
// *whyNot says why: no plugin for any of them, or the displays of those that have one did not answer.
bool AskedPlatformOpens(const std::string& asked, std::string* whyNot) {
  const QStringList folders = PlatformPluginFolders();
  const QStringList platforms = QString::fromStdString(asked).split(QLatin1Char(';'), Qt::SkipEmptyParts);
  bool anyPlugin = false;
  std::string unanswered;
  for (const QString& platform : platforms) {
    const QString name = platform.section(QLatin1Char(':'), 0, 0);
    if (!PlatformPluginPresent(name, folders)) {
      continue;
    }
    anyPlugin = true;
    std::string missing;
    if (name == QStringLiteral("xcb") && !XDisplayAnswers()) {
      missing = XDisplayUnreachable();
    } else if (name.startsWith(QStringLiteral("wayland")) && !WaylandDisplayAnswers()) {
      missing = NoCompositorAnswers();
    }
    if (missing.empty()) {
      return true;
    }
    if (unanswered.find(missing) == std::string::npos) {
      unanswered += (unanswered.empty() ? "" : " and ") + missing;
    }
  }
  if (whyNot != nullptr) {
    if (!anyPlugin) {
      *whyNot = "Qt has no plugin for the platform \"" + asked +
                "\" that QT_QPA_PLATFORM asks for (looked in " +
                folders.join(QStringLiteral(" and ")).toStdString() + ")";
    } else {
      *whyNot = unanswered + " (QT_QPA_PLATFORM=" + asked + ")";
    }
  }
  return false;
}

}  // namespace

std::string ChooseQtPlatform(std::string* whyNot) {
  if (EnvSet("QT_QPA_PLATFORM")) {
    const std::string asked = std::getenv("QT_QPA_PLATFORM");
    if (!AskedPlatformOpens(asked, whyNot)) {
      return std::string();
    }
    return asked;
  }
  // Qt's X platform ends the process when it cannot connect: look first.
  const bool x = EnvSet("DISPLAY") && XDisplayAnswers();
  const bool waylandPlugin = QtWaylandPluginPresent();
  const bool wayland = EnvSet("WAYLAND_DISPLAY") && waylandPlugin && WaylandDisplayAnswers();
  if (wayland && x) {
    return "wayland;xcb";
  }
  if (wayland) {
    return "wayland";
  }
  if (x) {
    return "xcb";
  }
  // A display was named but none answers: say which, so a start with no window is never silent.
  if (whyNot != nullptr) {
    std::string why;
    if (EnvSet("WAYLAND_DISPLAY")) {
      why = waylandPlugin ? NoCompositorAnswers()
                          : "Qt has no Wayland platform plugin (the package qt6-wayland) for WAYLAND_DISPLAY";
    }
    if (EnvSet("DISPLAY")) {
      why += (why.empty() ? "" : " and ") + XDisplayUnreachable();
    }
    *whyNot = why;
  }
  return std::string();
}

}  // namespace srd
