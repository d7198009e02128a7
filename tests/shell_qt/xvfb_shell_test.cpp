// End to end on a real X server: datagrams from the network become key presses through XTest, and the
// panel's test box, which has the focus, shows them as text.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <string>

#include "platform/keys/key_sink.h"
#include "platform/keys/xtest_key_backend.h"
#include "platform/ui/qt_ui_backend.h"
#include "platform/ui/window_layer.h"
#include "qt_test_support.h"
#include "receiver/receiver_worker.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"
#include "x_window_class.h"

namespace srd {
namespace {

using test::Script;
using test::SendDatagram;

// An Xvfb of the test's own, on a display number the server picks.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
             "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
      display_ = ":" + number;
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// True while some socket holds the UDP port on every address: the worker has bound it.
bool PortTaken(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const bool taken = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  close(fd);
  return taken;
}

TEST(XvfbShellTest, DatagramsArriveAsTextInTheFocusedTestBox) {
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  Xvfb server;
  ASSERT_FALSE(server.Display().empty());
  setenv("DISPLAY", server.Display().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);

  char pattern[] = "/tmp/srd-qt-xvfb-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string directory = pattern;
  std::string whyNot;
  std::unique_ptr<XTestKeyBackend> keys = XTestKeyBackend::Create(XTestOptions{server.Display()}, &whyNot);
  ASSERT_NE(keys, nullptr) << whyNot;
  std::unique_ptr<UiBackend> backend = CreateQtUiBackend();
  ASSERT_NE(backend, nullptr);
  ASSERT_TRUE(InitWindowLayer(std::move(backend)));
  SetInstanceDirectory(directory);
  InstallKeyBackend(keys.get());

  auto frame = [] { return qobject_cast<QMainWindow*>(QtWidgetOf(Shell().mainWindow)); };
  auto control = [](int id) {
    return Shell().mainPanel != nullptr ? QtWidgetOf(GetDlgItem(Shell().mainPanel, id)) : nullptr;
  };
  auto testBox = [&] { return qobject_cast<QPlainTextEdit*>(control(PANEL_TEST_EDIT)); };
  auto testBoxFocused = [&] {
    return frame() != nullptr && frame()->isActiveWindow() && testBox() != nullptr &&
           QApplication::focusWidget() == testBox();
  };
  const std::uint16_t port = test::FreeUdpPort();
  std::string windowClass;
  bool focusedAtStart = false;

  Script script({
      [&] {
        focusedAtStart = testBoxFocused();
        if (!focusedAtStart) {
          return false;
        }
        windowClass = test::XWindowClass(server.Display(), static_cast<unsigned long>(frame()->winId()));
        return true;
      },
      // Moves the worker off the default port, which other programs may hold; the clicks do not move the
      // keyboard focus.
      [&] {
        static_cast<QPushButton*>(control(PANEL_SETTINGS_BUTTON))->click();
        return true;
      },
      [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
        if (edit == nullptr) {
          return false;
        }
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QString::number(port));
        for (auto* button : dialog->findChildren<QPushButton*>()) {
          if (button->text() == QStringLiteral("OK")) {
            button->click();
          }
        }
        return true;
      },
      [&] { return QApplication::activeModalWidget() == nullptr && testBoxFocused() && PortTaken(port); },
      [&] {
        SendDatagram(port, "?K041U041");
        return true;
      },
      [&] { return testBox()->toPlainText() == QStringLiteral("a"); },
      [&] {
        SendDatagram(port, "?K048U048K045U045K04CU04CK04CU04CK04FU04F");
        return true;
      },
      [&] { return testBox()->toPlainText() == QStringLiteral("ahello"); },
      [&] {
        static_cast<QPushButton*>(control(PANEL_EXIT_BUTTON))->click();
        return true;
      },
  });
  const int code = ShellMain(ShellResources(), nullptr, u"", SW_SHOWNORMAL);
  EXPECT_TRUE(script.Finished()) << "stalled at step " << script.StalledAt();
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(focusedAtStart);
  EXPECT_EQ(windowClass.substr(windowClass.find('/') + 1), "strokeRELAYd");

  keys->ReleaseAll();
  InstallKeyBackend(nullptr);
  ShutdownWindowLayer();
  // The application goes before its X server does: Qt ends the process when its display connection breaks.
  delete QCoreApplication::instance();
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace srd
