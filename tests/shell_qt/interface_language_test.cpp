// The program's windows under each kind of locale, on the offscreen platform: which texts they show, and that
// every text fits its label or button at the window's size.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <algorithm>
#include <string>

#include "../support/scoped_temp_dir.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "platform/ui/qt/backend.h"
#include "platform/ui/qt/translation.h"
#include "platform/ui/window_layer.h"
#include "shell/main_panel.h"
#include "shell/shell_main.h"
#include "shell/shell_resources.h"
#include "shell/shell_values.h"
#include "support/qt/qt_test_support.h"
#include "support/qt/text_fit.h"

namespace srd {
namespace {

struct Language {
  const char* lang;
  // The panel's buttons (Settings, Hide, Exit) and its label over the test box.
  QStringList buttons;
  QString testLabel;
  // The bar's pop-up and its items, then the bar's own command.
  QStringList menu;
  QString cancel;
  QString portMessage;
  QString disclaimerStart;
};

const QStringList kJapaneseMenu = {"メニュー", "プログラムについて", "設定", "プログラム終了", "隠す(常駐)"};
const QStringList kEnglishMenu = {"Menu", "About strokerelayd", "Settings", "Exit strokerelayd",
                                  "Hide (keep running)"};

const Language kJapanese = {"ja_JP.UTF-8",
                            {"設定", "隠す(常駐)", "終了"},
                            "入力テスト用",
                            kJapaneseMenu,
                            "Cancel",
                            "1～65535 の Port 番号を入力してください",
                            "動作保障はありません。"};
const Language kEnglish = {
    "en_US.UTF-8", {"Settings", "Hide", "Exit"},          "Test typing:",         kEnglishMenu,
    "Cancel",      "Enter a port number from 1 to 65535", "There is no guarantee"};

void PrintTo(const Language& language, std::ostream* out) {
  *out << language.lang;
}

Language Like(Language language, const char* lang) {
  language.lang = lang;
  return language;
}

QMainWindow* Frame() {
  return qobject_cast<QMainWindow*>(QtWidgetOf(Shell().mainWindow));
}

QWidget* PanelControl(int id) {
  return Shell().mainPanel != nullptr ? QtWidgetOf(GetDlgItem(Shell().mainPanel, id)) : nullptr;
}

QStringList MenuTexts() {
  QStringList texts;
  for (QAction* bar : Frame()->menuBar()->actions()) {
    texts << bar->text();
    if (bar->menu() != nullptr) {
      for (QAction* item : bar->menu()->actions()) {
        texts << item->text();
      }
    }
  }
  return texts;
}

// What one window showed, and which of its texts did not fit.
struct Seen {
  QStringList texts;
  QStringList misfits;
};

Seen Look(const QWidget* window) {
  return Seen{test::ShownTexts(window), test::TextsThatDoNotFit(window)};
}

class InterfaceLanguageTest : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(directory_.Path().empty());
    test::UseLanguageOf(GetParam().lang);
    ASSERT_TRUE(InitWindowLayer(CreateQtUiBackend()));
    SetInstanceDirectory(directory_.Path());
    InstallKeyBackend(&keys_);
  }
  void TearDown() override {
    InstallKeyBackend(nullptr);
    ShutdownWindowLayer();
    test::UseLanguageOf("C.UTF-8");
  }

  test::ScopedTempDir directory_{"srd-qt-language"};
  RecordingKeyBackend keys_;
};

TEST_P(InterfaceLanguageTest, EveryWindowShowsItsTextsAndEachFits) {
  const Language& want = GetParam();
  Seen panel;
  Seen settings;
  Seen about;
  QStringList menu;
  const auto modal = [] {
    QWidget* dialog = QApplication::activeModalWidget();
    return dialog != nullptr && dialog->isVisible() ? dialog : nullptr;
  };
  test::Script script({
      [&] {
        QWidget* settingsButton = PanelControl(PANEL_SETTINGS_BUTTON);
        if (settingsButton == nullptr || !settingsButton->isVisible() || !Frame()->isActiveWindow()) {
          return false;
        }
        panel = Look(Frame());
        menu = MenuTexts();
        QTest::mouseClick(settingsButton, Qt::LeftButton);
        return true;
      },
      [&] {
        QWidget* dialog = modal();
        auto* edit = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
        if (edit == nullptr) {
          return false;
        }
        // A port the socket cannot take: the dialog says so in its message line.
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QStringLiteral("70000"));
        for (auto* button : dialog->findChildren<QPushButton*>()) {
          if (button->isDefault()) {
            QTest::mouseClick(button, Qt::LeftButton);
          }
        }
        return true;
      },
      [&] {
        QWidget* dialog = modal();
        if (dialog == nullptr || !test::ShownTexts(dialog).contains(want.portMessage)) {
          return false;
        }
        settings = Look(dialog);
        dialog->close();
        return true;
      },
      [&] {
        if (modal() != nullptr) {
          return false;
        }
        Frame()->menuBar()->actions().front()->menu()->actions().front()->trigger();
        return true;
      },
      [&] {
        QWidget* dialog = modal();
        if (dialog == nullptr) {
          return false;
        }
        about = Look(dialog);
        dialog->close();
        return true;
      },
      [&] {
        if (modal() != nullptr) {
          return false;
        }
        QTest::mouseClick(PanelControl(PANEL_EXIT_BUTTON), Qt::LeftButton);
        return true;
      },
  });
  // What the program asks for a text it puts together itself is what the windows show for it.
  EXPECT_EQ(QString::fromStdU16String(InterfaceText(u"終了")), want.buttons.back());
  EXPECT_EQ(ShellMain(ShellResources(), nullptr, u"", SW_SHOWNORMAL), 0);
  ASSERT_TRUE(script.Finished()) << "stalled at step " << script.StalledAt();

  for (const QString& button : want.buttons) {
    EXPECT_TRUE(panel.texts.contains(button)) << button.toStdString();
  }
  EXPECT_TRUE(panel.texts.contains(want.testLabel));
  EXPECT_TRUE(panel.texts.contains(QStringLiteral("strokerelayd v1.00")));
  EXPECT_TRUE(panel.texts.filter(QStringLiteral("169.254.2.1")).size() == 1)
      << panel.texts.join('|').toStdString();
  EXPECT_EQ(menu, want.menu);
  EXPECT_TRUE(settings.texts.contains(want.cancel));
  EXPECT_TRUE(settings.texts.filter(QStringLiteral("8102")).size() == 1);
  EXPECT_TRUE(about.texts.filter(want.disclaimerStart).size() == 1) << about.texts.join('|').toStdString();
  for (const Seen* window : {&panel, &settings, &about}) {
    EXPECT_TRUE(window->misfits.isEmpty()) << window->misfits.join('\n').toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, InterfaceLanguageTest,
                         ::testing::Values(kJapanese, Like(kJapanese, "C"), kEnglish,
                                           Language{"de_DE.UTF-8",
                                                    {"Optionen", "Verbergen", "Beenden"},
                                                    "Tipptest:",
                                                    {"Menü", "Über strokerelayd", "Einstellungen",
                                                     "strokerelayd beenden", "Verbergen (läuft weiter)"},
                                                    "Abbrechen",
                                                    "Portnummer von 1 bis 65535 eingeben",
                                                    "Keine Gewähr"},
                                           // A language without a catalogue of its own speaks English.
                                           Like(kEnglish, "fr_FR.UTF-8")),
                         [](const ::testing::TestParamInfo<Language>& param) {
                           std::string name = param.param.lang;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
                           }
                           return name;
                         });

// Each installed catalogue has its own text for every Japanese text of the resources: a text added without
// its translations would show in Japanese on an English or German desktop.
TEST(InterfaceCataloguesTest, EveryCatalogueTranslatesEveryJapaneseText) {
  ASSERT_NE(CreateQtUiBackend(), nullptr);
  const QDir directory(QString::fromStdString(TranslationDirectory()));
  const QStringList catalogues = directory.entryList({QStringLiteral("strokerelayd_*.qm")});
  EXPECT_TRUE(catalogues.contains(QStringLiteral("strokerelayd_en.qm")))
      << catalogues.join(' ').toStdString();
  EXPECT_TRUE(catalogues.contains(QStringLiteral("strokerelayd_de.qm")));
  for (const QString& file : catalogues) {
    QTranslator translator;
    ASSERT_TRUE(translator.load(directory.filePath(file))) << file.toStdString();
    int checked = 0;
    const auto check = [&](const std::u16string& text, const char* disambiguation) {
      const QString source = QString::fromStdU16String(text);
      if (std::all_of(source.begin(), source.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        return;  // names, numbers and addresses are the same in every language
      }
      ++checked;
      EXPECT_FALSE(
          translator.translate(kInterfaceContext, source.toUtf8().constData(), disambiguation).isEmpty())
          << file.toStdString() << ": " << source.toStdString();
    };
    for (const DialogTemplate& dialog : ShellResources()->dialogs) {
      for (const ControlTemplate& control : dialog.controls) {
        check(control.text, nullptr);
      }
    }
    for (const MenuItem& item : ShellResources()->menus.front().items) {
      check(item.text, kMenuDisambiguation);
      for (const MenuItem& sub : item.popup) {
        check(sub.text, kMenuDisambiguation);
      }
    }
    EXPECT_GE(checked, 10) << file.toStdString();
  }
}

}  // namespace
}  // namespace srd
