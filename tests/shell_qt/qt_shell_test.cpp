// The program's windows as Qt widgets on the offscreen platform: the user's clicks and typing, real UDP to
// the worker, and every way out. The handlers' logic itself is covered on the headless backend.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRawFont>
#include <QTest>
#include <algorithm>
#include <string>

#include "../support/loopback.h"
#include "../support/scoped_temp_dir.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/window_layer.h"
#include "receiver/receiver_worker.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"
#include "support/qt/qt_test_support.h"

namespace srd {
namespace {

using Step = test::Script::Step;

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

bool PanelShown() {
  return PanelControl(PANEL_SETTINGS_BUTTON) != nullptr && PanelControl(PANEL_SETTINGS_BUTTON)->isVisible();
}

Step Click(int panelControl) {
  return [panelControl] {
    QWidget* widget = PanelControl(panelControl);
    if (widget == nullptr || !widget->isVisible()) {
      return false;
    }
    QTest::mouseClick(widget, Qt::LeftButton);
    return true;
  };
}

// Triggers the menu bar's item, or the item of one of its pop-ups, with the text.
Step Trigger(const QString& text) {
  return [text] {
    if (!PanelShown()) {
      return false;
    }
    for (QAction* action : Frame()->menuBar()->actions()) {
      QList<QAction*> items = action->menu() != nullptr ? action->menu()->actions() : QList<QAction*>();
      items.prepend(action);
      for (QAction* item : items) {
        if (item->text() == text) {
          item->trigger();
          return true;
        }
      }
    }
    ADD_FAILURE() << "no menu item " << text.toStdString();
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
    for (auto* b : dialog->findChildren<QPushButton*>()) {
      if (b->text() == button) {
        QTest::mouseClick(b, Qt::LeftButton);
      }
    }
    return true;
  };
}

Step NoDialog() {
  return [] { return QApplication::activeModalWidget() == nullptr; };
}

// The open dialog lies exactly over the main window, and its lowest buttons sit at its foot.
void ExpectCoversTheMainWindow(QWidget* dialog) {
  EXPECT_EQ(dialog->geometry(), Frame()->geometry());
  int lowest = 0;
  for (auto* b : dialog->findChildren<QPushButton*>()) {
    lowest = std::max(lowest, b->geometry().bottom());
  }
  EXPECT_GT(lowest, dialog->height() * 9 / 10);
  EXPECT_LT(lowest, dialog->height());
}

class QtShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.Path().empty());
    ASSERT_TRUE(InitWindowLayer(CreateQtUiBackend()));
    SetInstanceDirectory(directory_.Path());
    InstallKeyBackend(&keys_);
  }
  void TearDown() override {
    InstallKeyBackend(nullptr);
    ShutdownWindowLayer();
  }

  // Runs the program with the steps acting inside its message loop; returns its exit code.
  int RunProgram(std::vector<Step> steps) {
    test::Script script(std::move(steps));
    const int code = ShellMain(ShellResources(), nullptr, u"", SW_SHOWNORMAL);
    EXPECT_TRUE(script.Finished()) << "stalled at step " << script.StalledAt();
    return code;
  }

  // Sends "?K0kkU0kk" (press and release of key kk) to the port until the worker has typed that key.
  Step ReceivedOn(std::int32_t port, const char* key) {
    return [this, port, key] {
      for (const RecordedKeyEvent& event : keys_.Events()) {
        if (event.virtualKey == std::stoi(key, nullptr, 16) && event.flags == KEYEVENT_PRESS) {
          return true;
        }
      }
      test::SendDatagram(port, std::string("?K0") + key + "U0" + key);
      return false;
    };
  }

  test::ScopedTempDir directory_{"srd-qt-shell"};
  RecordingKeyBackend keys_;
};

// The panel's Settings moves the worker and the label, the menu's only the worker; Cancel and the dialog's
// close button keep the port; the menu's Exit ends the program.
TEST_F(QtShellTest, SettingsFromThePanelAndTheMenuThenMenuExit) {
  const std::int32_t first = test::FindFreeUdpPort();
  std::int32_t second = test::FindFreeUdpPort();
  while (second == first) {
    second = test::FindFreeUdpPort();
  }
  QString shownAtOpen;
  QString refusal;
  QString title;
  bool testBoxFocused = false;
  QString labelAfterMenu;
  std::int32_t afterCancel = 0;
  std::int32_t afterClose = 0;
  const auto stored = [](std::int32_t* into) {
    return [into] {
      *into = Shell().state->port.load();
      return QApplication::activeModalWidget() == nullptr;
    };
  };
  const int code = RunProgram({
      [&] {
        if (!PanelShown() || PortLabel() != QStringLiteral("Port= 8102") || !Frame()->isActiveWindow()) {
          return false;
        }
        title = Frame()->windowTitle();
        testBoxFocused = QApplication::focusWidget() == PanelControl(PANEL_TEST_EDIT);
        return true;
      },
      Click(PANEL_SETTINGS_BUTTON),
      EnterInSettings(QStringLiteral("70000"), QStringLiteral("OK"), &shownAtOpen),
      [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) {
          ADD_FAILURE() << "a port out of range closed the dialog";
          return true;
        }
        for (auto* label : dialog->findChildren<QLabel*>()) {
          refusal +=
              label->text().contains(QStringLiteral("65535")) && label->isVisible() ? label->text() : "";
        }
        ExpectCoversTheMainWindow(dialog);
        return true;
      },
      EnterInSettings(QString::number(first), QStringLiteral("OK")),
      [&] { return NoDialog()() && PortLabel() == QStringLiteral("Port= %1").arg(first); },
      ReceivedOn(first, "41"),
      Trigger(QStringLiteral("設定")),
      EnterInSettings(QString::number(second), QStringLiteral("OK")),
      NoDialog(),
      ReceivedOn(second, "42"),
      [&] {
        labelAfterMenu = PortLabel();
        return true;
      },
      Click(PANEL_SETTINGS_BUTTON),
      EnterInSettings(QStringLiteral("1234"), QStringLiteral("Cancel")),
      stored(&afterCancel),
      Click(PANEL_SETTINGS_BUTTON),
      [] {
        QWidget* dialog = QApplication::activeModalWidget();
        auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
        if (edit == nullptr) {
          return false;
        }
        QTest::keyClicks(edit, QStringLiteral("99"));
        dialog->close();
        return true;
      },
      stored(&afterClose),
      Trigger(QStringLiteral("プログラム終了")),
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(title, QStringLiteral("strokerelayd"));
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("strokeRELAYd"));  // X11's WM_CLASS
  EXPECT_TRUE(testBoxFocused);
  EXPECT_EQ(shownAtOpen, QStringLiteral("8102"));
  EXPECT_EQ(refusal, QStringLiteral("1～65535 の Port 番号を入力してください"));
  EXPECT_EQ(labelAfterMenu, QStringLiteral("Port= %1").arg(first));
  EXPECT_EQ(afterCancel, second);
  EXPECT_EQ(afterClose, second);
}

// Hide minimises; a second start's request brings the window back with its open About box; the panel's Exit
// ends the program.
TEST_F(QtShellTest, HideAndComingForwardThenPanelExit) {
  bool restored = false;
  bool aboutStillShown = false;
  const int code = RunProgram({
      Trigger(QStringLiteral("隠す(常駐)")),
      [] { return Frame()->isMinimized(); },
      Trigger(QStringLiteral("プログラムについて")),
      [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (about == nullptr || !about->isVisible()) {
          return false;
        }
        SetForegroundWindow(WithOwnedPopups(Shell().mainWindow));
        restored = !Frame()->isMinimized() && Frame()->isVisible();
        aboutStillShown = about->isVisible();
        about->close();
        return true;
      },
      NoDialog(),
      Click(PANEL_EXIT_BUTTON),
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(restored);
  EXPECT_TRUE(aboutStillShown);
}

// The worker cannot bind its port: the panel's own line says so, and it and the addresses fit their places
// with the longest texts they can hold, without running into the buttons or the help text below.
TEST_F(QtShellTest, TheListeningLineAndTheAddressesFitThePanel) {
  const std::int32_t port = test::FindFreeUdpPort();
  test::UdpSocket holder;
  ASSERT_TRUE(holder.Bind(port));
  SetShellStartPort(port);
  const auto fits = [](int id) {
    auto* label = qobject_cast<QLabel*>(PanelControl(id));
    if (label == nullptr) {
      ADD_FAILURE() << "no label " << id;
      return;
    }
    EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
    for (const int other : {PANEL_EXIT_BUTTON, PANEL_HIDE_BUTTON, PANEL_SETTINGS_BUTTON, PANEL_PORT_LABEL,
                            PANEL_HOST_LABEL, PANEL_ADDRESS_LABEL, PANEL_LISTENING_LABEL}) {
      if (other != id) {
        EXPECT_FALSE(label->geometry().intersects(PanelControl(other)->geometry())) << id << " and " << other;
      }
    }
  };
  QString shown;
  const int code = RunProgram({
      [&] {
        auto* line = qobject_cast<QLabel*>(PanelControl(PANEL_LISTENING_LABEL));
        if (line == nullptr || line->text().isEmpty()) {
          return false;
        }
        shown = line->text();
        fits(PANEL_LISTENING_LABEL);
        SetWindowText(GetDlgItem(Shell().mainPanel, PANEL_LISTENING_LABEL),
                      u"Port 65535 を開けません: 1024 未満は root 権限が必要です");
        fits(PANEL_LISTENING_LABEL);
        SetWindowText(GetDlgItem(Shell().mainPanel, PANEL_ADDRESS_LABEL),
                      u"169.254.255.255 192.168.255.255");
        fits(PANEL_ADDRESS_LABEL);
        return true;
      },
      Click(PANEL_EXIT_BUTTON),
  });
  SetShellStartPort(DEFAULT_PORT);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(shown.toStdString(), "Port " + std::to_string(port) + " を開けません: ほかのプログラムが使用中です");
}

// The About box covers the main window like the settings dialog, and ends with its OK button and with
// Return, as the handheld's caption OK ended it.
TEST_F(QtShellTest, AboutCoversTheWindowAndEndsWithItsOkButtonOrReturn) {
  const auto end = [](bool click) {
    return [click] {
      QWidget* about = QApplication::activeModalWidget();
      if (about == nullptr || !about->isVisible()) {
        return false;
      }
      ExpectCoversTheMainWindow(about);
      auto* ok = about->findChild<QPushButton*>();
      EXPECT_NE(ok, nullptr);
      if (click && ok != nullptr) {
        QTest::mouseClick(ok, Qt::LeftButton);
      } else {
        QTest::keyClick(about, Qt::Key_Return);
      }
      return true;
    };
  };
  const int code = RunProgram({
      Trigger(QStringLiteral("プログラムについて")),
      end(true),
      NoDialog(),
      Trigger(QStringLiteral("プログラムについて")),
      end(false),
      NoDialog(),
      Trigger(QStringLiteral("プログラム終了")),
  });
  EXPECT_EQ(code, 0);
}

// Closing the main window ends the program, even while a dialog runs: the dialog goes with its owner.
TEST_F(QtShellTest, ClosingTheWindowWhileTheSettingsDialogRunsEndsTheProgram) {
  const int code = RunProgram({
      Click(PANEL_SETTINGS_BUTTON),
      [] {
        if (QApplication::activeModalWidget() == nullptr) {
          return false;
        }
        Frame()->close();
        return true;
      },
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Every text of the interface has a glyph in the font it is drawn with: no empty boxes for Japanese.
TEST(InterfaceGlyphsTest, EveryTextRendersWithRealGlyphs) {
  ASSERT_NE(CreateQtUiBackend(), nullptr);  // the application object and the font substitutions
  int texts = 0;
  auto check = [&texts](const QFont& font, const std::u16string& text) {
    ++texts;
    const QString family = QFontInfo(font).family();
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Japanese);
    ASSERT_TRUE(raw.isValid()) << family.toStdString();
    for (const char32_t c : QString::fromStdU16String(text).toUcs4()) {
      EXPECT_TRUE(c == U'\n' || c == U'\r' || raw.supportsCharacter(c))
          << "U+" << std::hex << static_cast<unsigned>(c) << " missing in " << family.toStdString();
    }
  };
  for (const DialogTemplate& t : ShellResources()->dialogs) {
    const QFont font = DialogFont(t);
    const QString family = QFontInfo(font).family();
    bool japaneseFace = false;
    for (const char* fallback : kJapaneseGothicFallbacks) {
      japaneseFace = japaneseFace || family == QString::fromLatin1(fallback);
    }
    EXPECT_TRUE(japaneseFace) << family.toStdString();
    for (const ControlTemplate& c : t.controls) {
      check(font, c.text);
    }
  }
  QFont menuFont(QStringLiteral("MS UI Gothic"));
  menuFont.setPointSize(9);
  for (const MenuResource& m : ShellResources()->menus) {
    for (const MenuItem& item : m.items) {
      check(menuFont, item.text);
      for (const MenuItem& sub : item.popup) {
        check(menuFont, sub.text);
      }
    }
  }
  EXPECT_GT(texts, 15);
}

}  // namespace
}  // namespace srd
