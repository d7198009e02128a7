// End to end on a real X server: datagrams from the network become key presses through XTest, and the
// panel's test box, which has the focus, shows them as text.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <string>

#include "../support/loopback.h"
#include "../support/scoped_temp_dir.h"
#include "../support/udp_port.h"
#include "../support/xvfb_server.h"
#include "platform/keys/key_sink.h"
#include "platform/x11/xtest_key_backend.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/window_layer.h"
#include "support/qt/qt_test_support.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"
#include "x_window_class.h"

namespace srd {
namespace {

TEST(XvfbShellTest, DatagramsArriveAsTextInTheFocusedTestBox) {
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Xvfb is not installed";
  }
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  setenv("DISPLAY", server.DisplayName().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);

  const test::ScopedTempDir temp("srd-qt-xvfb");
  ASSERT_FALSE(temp.Path().empty());
  const std::string& directory = temp.Path();
  std::string whyNot;
  std::unique_ptr<XTestKeyBackend> keys =
      XTestKeyBackend::Create(XTestOptions{server.DisplayName()}, &whyNot);
  ASSERT_NE(keys, nullptr) << whyNot;
  ASSERT_TRUE(InitWindowLayer(CreateQtUiBackend()));
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
  auto send = [](std::int32_t port, const char* text) {
    return [port, text] {
      test::SendDatagram(port, text);
      return true;
    };
  };
  const std::int32_t port = test::FindFreeUdpPort();
  std::string windowClass;

  test::Script script({
      [&] {
        if (!testBoxFocused()) {
          return false;
        }
        windowClass = test::XWindowClass(server.DisplayName(), static_cast<unsigned long>(frame()->winId()));
        // Moves the worker off the default port, which other programs may hold; the clicks do not move the
        // keyboard focus.
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
      [&] {
        return QApplication::activeModalWidget() == nullptr && testBoxFocused() && !test::UdpPortIsFree(port);
      },
      send(port, "?K041U041"),
      [&] { return testBox()->toPlainText() == QStringLiteral("a"); },
      send(port, "?K048U048K045U045K04CU04CK04CU04CK04FU04F"),
      [&] { return testBox()->toPlainText() == QStringLiteral("ahello"); },
      [&] {
        static_cast<QPushButton*>(control(PANEL_EXIT_BUTTON))->click();
        return true;
      },
  });
  const int code = ShellMain(ShellResources(), nullptr, u"", SW_SHOWNORMAL);
  EXPECT_TRUE(script.Finished()) << "stalled at step " << script.StalledAt();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(windowClass.substr(windowClass.find('/') + 1), "strokeRELAYd");

  keys->ReleaseAll();
  InstallKeyBackend(nullptr);
  ShutdownWindowLayer();
  // The application goes before its X server does: Qt ends the process when its display connection breaks.
  delete QCoreApplication::instance();
}

}  // namespace
}  // namespace srd
