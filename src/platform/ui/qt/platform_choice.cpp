#include "platform/ui/qt/platform_choice.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QStringList>

#include <cstdlib>

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

// A missing plugin makes Qt abort the process; an asked-for list ("wayland;xcb") works when one of its
// platforms (each maybe with ":options") has a plugin.
bool AskedPlatformHasAPlugin(const std::string& asked, std::string* whyNot) {
  const QStringList folders = PlatformPluginFolders();
  const QStringList platforms = QString::fromStdString(asked).split(QLatin1Char(';'), Qt::SkipEmptyParts);
  for (const QString& platform : platforms) {
    if (PlatformPluginPresent(platform.section(QLatin1Char(':'), 0, 0), folders)) {
      return true;
    }
  }
  if (whyNot != nullptr) {
    *whyNot = "Qt has no plugin for the platform \"" + asked +
              "\" that QT_QPA_PLATFORM asks for (looked in " +
              folders.join(QStringLiteral(" and ")).toStdString() + ")";
  }
  return false;
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

std::string ChooseQtPlatform(std::string* whyNot) {
  if (EnvSet("QT_QPA_PLATFORM")) {
    const std::string asked = std::getenv("QT_QPA_PLATFORM");
    if (!AskedPlatformHasAPlugin(asked, whyNot) || (asked == "xcb" && !XDisplayAnswers())) {
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
