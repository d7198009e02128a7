// Renders the main window, the settings dialog, the About dialog and strokesender's --window to PNG files for
// the documentation.
// Usage: srd_render_images OUTPUT_DIRECTORY   (runs on Qt's offscreen platform unless one is set; the windows
// speak the language the locale chooses, as the program's do)

#include <stdlib.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture_window.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/window_layer.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"

namespace {

QMainWindow* Frame() {
  return qobject_cast<QMainWindow*>(srd::QtWidgetOf(srd::Shell().mainWindow));
}

bool Save(QWidget* widget, const std::string& path) {
  const bool saved = widget->grab().save(QString::fromStdString(path), "PNG");
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write", path.c_str());
  return saved;
}

// The first item of the menu bar's pop-up: About, in whichever language the menu speaks.
QAction* AboutAction() {
  for (QAction* bar : Frame()->menuBar()->actions()) {
    if (bar->menu() != nullptr && !bar->menu()->actions().isEmpty()) {
      return bar->menu()->actions().front();
    }
  }
  return nullptr;
}

// Steps run one per timer tick inside the program's own message loop, each retried until it returns true.
// Should one never succeed, every window is closed after a minute so that the loop, and the tool, end.
class Steps {
 public:
  explicit Steps(std::vector<std::function<bool()>> steps) : steps_(std::move(steps)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, deadline] {
      if (next_ < steps_.size() && std::chrono::steady_clock::now() > deadline) {
        next_ = steps_.size();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          widget->close();
        }
      } else if (next_ < steps_.size() && steps_[next_]()) {
        ++next_;
      }
    });
    timer_.start();
  }

 private:
  std::vector<std::function<bool()>> steps_;
  std::size_t next_ = 0;
  QTimer timer_;
};

// A step that saves the open modal dialog and closes it.
std::function<bool()> SaveDialog(int* saved, const std::string& path) {
  return [saved, path] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) {
      return false;
    }
    *saved += Save(dialog, path);
    dialog->close();
    return true;
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string out = argv[1];
  std::filesystem::create_directories(out);
  const std::string instanceDirectory = out + "/.instance";
  std::filesystem::create_directories(instanceDirectory);

  if (!srd::InitWindowLayer(srd::CreateQtUiBackend())) {
    std::fprintf(stderr, "no Qt platform\n");
    return 1;
  }
  srd::SetInstanceDirectory(instanceDirectory);
  int saved = 0;
  std::unique_ptr<srd::sender::CaptureWindow> capture;
  const auto noDialog = [] { return QApplication::activeModalWidget() == nullptr; };
  Steps steps({
      [&] {
        QWidget* panel = srd::QtWidgetOf(srd::Shell().mainPanel);
        if (Frame() == nullptr || panel == nullptr || !panel->isVisible() || !Frame()->isActiveWindow()) {
          return false;
        }
        saved += Save(Frame(), out + "/main_window.png");
        qobject_cast<QPushButton*>(
            srd::QtWidgetOf(GetDlgItem(srd::Shell().mainPanel, srd::PANEL_SETTINGS_BUTTON)))
            ->click();
        return true;
      },
      SaveDialog(&saved, out + "/settings_dialog.png"),
      [&] {
        if (!noDialog()) {
          return false;
        }
        AboutAction()->trigger();
        return true;
      },
      SaveDialog(&saved, out + "/about_dialog.png"),
      [&] {
        if (!noDialog()) {
          return false;
        }
        capture = std::make_unique<srd::sender::CaptureWindow>(QStringLiteral("169.254.2.1:8102"),
                                                               [](std::string_view) { return true; });
        capture->show();
        capture->activateWindow();
        return true;
      },
      [&] {
        if (!capture->isActiveWindow()) {
          return false;
        }
        saved += Save(capture.get(), out + "/strokesender_window.png");
        capture->close();
        Frame()->close();
        return true;
      },
  });
  srd::ShellMain(srd::ShellResources(), nullptr, u"", srd::SW_SHOWNORMAL);
  srd::ShutdownWindowLayer();
  std::filesystem::remove_all(instanceDirectory);
  return saved == 4 ? 0 : 1;
}
