// The program's windows as Qt widgets on the offscreen platform: the user's clicks and typing, real UDP to
// the worker, and every way out.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QTest>
#include <filesystem>
#include <string>

#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "platform/ui/qt_dialog_font.h"
#include "platform/ui/qt_ui_backend.h"
#include "platform/ui/window_layer.h"
#include "qt_test_support.h"
#include "receiver/receiver_worker.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"

namespace srd {
namespace {

using test::Script;
using test::SendDatagram;
using Step = Script::Step;

QWidget* PanelControl(int id) {
  return Shell().mainPanel != nullptr ? QtWidgetOf(GetDlgItem(Shell().mainPanel, id)) : nullptr;
}

QString PortLabel() {
  auto* label = qobject_cast<QLabel*>(PanelControl(PANEL_PORT_LABEL));
  return label != nullptr ? label->text() : QString();
}

QMainWindow* Frame() {
  return qobject_cast<QMainWindow*>(QtWidgetOf(Shell().mainWindow));
}

QAction* MenuAction(const QString& text) {
  if (Frame() == nullptr) {
    return nullptr;
  }
  for (QAction* action : Frame()->menuBar()->actions()) {
    if (action->text() == text) {
      return action;
    }
    if (action->menu() != nullptr) {
      for (QAction* item : action->menu()->actions()) {
        if (item->text() == text) {
          return item;
        }
      }
    }
  }
  return nullptr;
}

QPushButton* ButtonIn(QWidget* dialog, const QString& text) {
  for (auto* button : dialog->findChildren<QPushButton*>()) {
    if (button->text() == text) {
      return button;
    }
  }
  return nullptr;
}

bool PanelShown() {
  return PanelControl(PANEL_SETTINGS_BUTTON) != nullptr && PanelControl(PANEL_SETTINGS_BUTTON)->isVisible();
}

Step Click(const std::function<QWidget*()>& find) {
  return [find] {
    QWidget* widget = find();
    if (widget == nullptr || !widget->isVisible()) {
      return false;
    }
    QTest::mouseClick(widget, Qt::LeftButton);
    return true;
  };
}

Step Trigger(const QString& menuText) {
  return [menuText] {
    QAction* action = MenuAction(menuText);
    if (action == nullptr || !PanelShown()) {
      return false;
    }
    action->trigger();
    return true;
  };
}

// In the open settings dialog: replaces the entry with `text` and presses the button labelled `button`.
Step EnterInSettings(const QString& text, const QString& button, QString* shownAtOpen = nullptr) {
  return [=] {
    QWidget* dialog = QApplication::activeModalWidget();
    auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
    if (edit == nullptr || !dialog->isVisible()) {
      return false;
    }
    if (shownAtOpen != nullptr) {
      *shownAtOpen = edit->text();
    }
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::mouseClick(ButtonIn(dialog, button), Qt::LeftButton);
    return true;
  };
}

Step NoDialog() {
  return [] { return QApplication::activeModalWidget() == nullptr; };
}

class QtShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/srd-qt-shell-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    std::unique_ptr<UiBackend> backend = CreateQtUiBackend();
    ASSERT_NE(backend, nullptr);
    ASSERT_TRUE(InitWindowLayer(std::move(backend)));
    SetInstanceDirectory(directory_);
    InstallKeyBackend(&keys_);
  }
  void TearDown() override {
    InstallKeyBackend(nullptr);
    ShutdownWindowLayer();
    std::filesystem::remove_all(directory_);
  }

  // Runs the program with the steps acting inside its message loop; returns its exit code.
  int RunProgram(std::vector<Step> steps) {
    Script script(std::move(steps));
    const int code = ShellMain(ShellResources(), nullptr, u"", SW_SHOWNORMAL);
    EXPECT_TRUE(script.Finished()) << "stalled at step " << script.StalledAt();
    return code;
  }

  // A step that sends "?K041U041" to the port until the worker has turned it into key events.
  Step ReceivedOn(std::uint16_t port) {
    return [this, port] {
      if (keys_.Count() >= 2) {
        return true;
      }
      SendDatagram(port, "?K041U041");
      return false;
    };
  }

  void ExpectKeyA() {
    const std::vector<RecordedKeyEvent> events = keys_.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, 0x41);
    EXPECT_EQ(events[0].flags, KEYEVENT_PRESS);
    EXPECT_EQ(events[1].virtualKey, 0x41);
    EXPECT_EQ(events[1].flags, KEYEVENT_KEYUP);
  }

  std::string directory_;
  RecordingKeyBackend keys_;
};

TEST_F(QtShellTest, PanelSettingsMovesTheWorkerAndTheLabelThenPanelExitEnds) {
  const std::uint16_t port = test::FreeUdpPort();
  const QString p = QString::number(port);
  QString shownAtOpen;
  QString title;
  QString wmClass;
  bool testBoxFocused = false;
  const int code = RunProgram({
      [&] {
        if (!PanelShown() || PortLabel() != QStringLiteral("Port= 8102")) {
          return false;
        }
        if (!Frame()->isActiveWindow()) {
          return false;
        }
        title = Frame()->windowTitle();
        wmClass = QCoreApplication::applicationName();
        testBoxFocused = QApplication::focusWidget() == PanelControl(PANEL_TEST_EDIT);
        return true;
      },
      Click([] { return PanelControl(PANEL_SETTINGS_BUTTON); }),
      EnterInSettings(p, QStringLiteral("OK"), &shownAtOpen),
      [&] {
        return QApplication::activeModalWidget() == nullptr && PortLabel() == QStringLiteral("Port= ") + p;
      },
      ReceivedOn(port),
      Click([] { return PanelControl(PANEL_EXIT_BUTTON); }),
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(title, QStringLiteral("strokerelayd"));
  EXPECT_EQ(wmClass, QStringLiteral("strokeRELAYd"));
  EXPECT_TRUE(testBoxFocused);
  EXPECT_EQ(shownAtOpen, QStringLiteral("8102"));
  ExpectKeyA();
}

TEST_F(QtShellTest, MenuSettingsMovesTheWorkerButLeavesTheLabelThenMenuExitEnds) {
  const std::uint16_t port = test::FreeUdpPort();
  QString labelAfter;
  const int code = RunProgram({
      Trigger(QStringLiteral("設定")),
      EnterInSettings(QString::number(port), QStringLiteral("OK")),
      NoDialog(),
      ReceivedOn(port),
      [&] {
        labelAfter = PortLabel();
        return true;
      },
      Trigger(QStringLiteral("プログラム終了")),
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(labelAfter, QStringLiteral("Port= 8102"));
  ExpectKeyA();
}

TEST_F(QtShellTest, CancelAndTheCloseButtonChangeNothingAndClosingTheWindowEnds) {
  std::int32_t afterCancel = 0;
  std::int32_t afterClose = 0;
  QString labelAfterCancel;
  const int code = RunProgram({
      Click([] { return PanelControl(PANEL_SETTINGS_BUTTON); }),
      EnterInSettings(QStringLiteral("1234"), QStringLiteral("Cancel")),
      [&] {
        if (QApplication::activeModalWidget() != nullptr) {
          return false;
        }
        afterCancel = Shell().state->port.load();
        labelAfterCancel = PortLabel();
        return true;
      },
      Click([] { return PanelControl(PANEL_SETTINGS_BUTTON); }),
      [] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
        if (edit == nullptr) {
          return false;
        }
        QTest::keyClicks(edit, QStringLiteral("99"));
        dialog->close();  // the window's close button
        return true;
      },
      [&] {
        if (QApplication::activeModalWidget() != nullptr) {
          return false;
        }
        afterClose = Shell().state->port.load();
        return true;
      },
      [] {
        Frame()->close();
        return true;
      },
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(afterCancel, 8102);
  EXPECT_EQ(labelAfterCancel, QStringLiteral("Port= 8102"));
  EXPECT_EQ(afterClose, 8102);
}

TEST_F(QtShellTest, OnlyThirtyCharactersAreReadAndAboutHideAndComingForwardWork) {
  // 26 zeros and 1234 are the first 30 characters; what follows is not read.
  const QString entry = QString(26, QLatin1Char('0')) + QStringLiteral("12345678");
  std::int32_t stored = 0;
  bool aboutHadEntry = true;
  bool minimised = false;
  bool restored = false;
  bool aboutVisibleAfterComingForward = false;
  const int code = RunProgram({
      Click([] { return PanelControl(PANEL_SETTINGS_BUTTON); }),
      EnterInSettings(entry, QStringLiteral("OK")),
      [&] {
        if (QApplication::activeModalWidget() != nullptr || PortLabel() != QStringLiteral("Port= 1234")) {
          return false;
        }
        stored = Shell().state->port.load();
        return true;
      },
      Click([] { return PanelControl(PANEL_HIDE_BUTTON); }),
      [&] {
        minimised = Frame()->isMinimized();
        return minimised;
      },
      Trigger(QStringLiteral("プログラムについて")),
      [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (about == nullptr || !about->isVisible()) {
          return false;
        }
        aboutHadEntry = about->findChild<QLineEdit*>() != nullptr;
        // What a second start asks of the running instance.
        SetForegroundWindow(WithOwnedPopups(Shell().mainWindow));
        restored = !Frame()->isMinimized() && Frame()->isVisible();
        aboutVisibleAfterComingForward = about->isVisible();
        about->close();  // the About box's only way out
        return true;
      },
      NoDialog(),
      Trigger(QStringLiteral("隠す(常駐)")),
      [] { return Frame()->isMinimized(); },
      Trigger(QStringLiteral("プログラム終了")),
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(stored, 1234);
  EXPECT_TRUE(minimised);
  EXPECT_FALSE(aboutHadEntry);
  EXPECT_TRUE(restored);
  EXPECT_TRUE(aboutVisibleAfterComingForward);
}

// What the stop signals do (a close request to every top-level window) while a dialog runs: the dialog goes
// with its owner and the program ends normally.
TEST_F(QtShellTest, CloseRequestWhileTheSettingsDialogRunsEndsTheProgram) {
  const int code = RunProgram({
      Click([] { return PanelControl(PANEL_SETTINGS_BUTTON); }),
      [] {
        if (QApplication::activeModalWidget() == nullptr) {
          return false;
        }
        PostMessage(Shell().mainWindow, WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Every text of the interface has a glyph in the font it is drawn with: no empty boxes for Japanese.
TEST(InterfaceGlyphsTest, EveryTextRendersWithRealGlyphs) {
  ASSERT_NE(CreateQtUiBackend(), nullptr);  // the application object and the font substitutions
  Instance resources = ShellResources();
  auto check = [](const QFont& font, const std::u16string& text) {
    const QFontInfo info(font);
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Japanese);
    ASSERT_TRUE(raw.isValid()) << info.family().toStdString();
    for (const char32_t c : QString::fromStdU16String(text).toUcs4()) {
      if (c == U'\n' || c == U'\r') {
        continue;
      }
      EXPECT_TRUE(raw.supportsCharacter(c))
          << "U+" << std::hex << static_cast<unsigned>(c) << " missing in " << info.family().toStdString();
    }
  };
  int texts = 0;
  for (const DialogTemplate& t : resources->dialogs) {
    const QFont font = DialogFont(t);
    const QString family = QFontInfo(font).family();
    bool japaneseFace = false;
    for (const char* fallback : kJapaneseGothicFallbacks) {
      japaneseFace = japaneseFace || family == QString::fromLatin1(fallback);
    }
    EXPECT_TRUE(japaneseFace) << family.toStdString();
    for (const ControlTemplate& c : t.controls) {
      check(font, c.text);
      ++texts;
    }
  }
  QFont menuFont(QStringLiteral("MS UI Gothic"));
  menuFont.setPointSize(9);
  for (const MenuResource& m : resources->menus) {
    for (const MenuItem& item : m.items) {
      check(menuFont, item.text);
      for (const MenuItem& sub : item.popup) {
        check(menuFont, sub.text);
        ++texts;
      }
    }
  }
  EXPECT_GT(texts, 15);
}

}  // namespace
}  // namespace srd
