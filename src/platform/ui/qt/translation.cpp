#include "platform/ui/qt/translation.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTranslator>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/ui/qt/interface_language.h"

namespace srd {

namespace {

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    return std::string();
  }
  std::string out(resolved);
  std::free(resolved);
  return out;
}

bool RunsFromBuildTree() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  const std::string tree = RealPath(SRD_BUILD_TREE);
  if (length <= 0 || tree.empty()) {
    return false;
  }
  const std::string executable(buffer, static_cast<std::size_t>(length));
  return executable.compare(0, tree.size() + 1, tree + "/") == 0;
}

QString CataloguePath(const std::string& name) {
  return QString::fromStdString(TranslationDirectory() + "/strokerelayd_" + name + ".qm");
}

// The catalogue in use; replaced when the language is chosen again (tests do, in one process).
std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

std::string TranslationDirectory() {
  static const std::string directory =
      RunsFromBuildTree() ? SRD_BUILD_TRANSLATIONS_DIR : SRD_INSTALLED_TRANSLATIONS_DIR;
  return directory;
}

std::string InstallInterfaceTranslation() {
  if (Installed() != nullptr) {
    QCoreApplication::removeTranslator(Installed().get());
    Installed().reset();
  }
  const std::string name = ChooseCatalogue(
      [](const char* variable) { return std::getenv(variable); },
      [](const std::string& candidate) { return QFileInfo(CataloguePath(candidate)).isReadable(); });
  if (name.empty()) {
    return name;
  }
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(CataloguePath(name))) {
    return std::string();  // unreadable after all: the texts as written are still every text there is
  }
  QCoreApplication::installTranslator(translator.get());
  Installed() = std::move(translator);
  return name;
}

QString ShownText(const std::u16string& text, const char* disambiguation) {
  if (text.empty()) {
    return QString();
  }
  const QByteArray source = QString::fromStdU16String(text).toUtf8();
  return QCoreApplication::translate(kInterfaceContext, source.constData(), disambiguation);
}

}  // namespace srd
