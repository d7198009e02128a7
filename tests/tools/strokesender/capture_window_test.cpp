// The --window capture window on Qt's offscreen platform, fed key events as the X and Wayland platforms
// deliver them (native scan code = Linux key code + 8).

#include "capture_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/qt/translation.h"
#include "support/qt/text_fit.h"
#include "support/wait_until.h"

namespace srd::sender {
namespace {

constexpr quint32 kTab = 23;
constexpr quint32 kA = 38;
constexpr quint32 kLeftCtrl = 37;

class CaptureWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "capture_window_test";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the window never needs a screen here
    // Kept to the end of the process: Qt's own globals are gone by the time statics are destroyed.
    static QApplication* application = new QApplication(argc, argv);
    static_cast<void>(application);
  }

  void SetUp() override {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(Settle([this] { return window_.isActiveWindow() && window_.hasFocus(); }));
  }

  template <typename Condition>
  static bool Settle(Condition condition) {
    return test::WaitUntil([&] {
      QApplication::processEvents();
      return condition();
    });
  }

  void Key(QEvent::Type type, int key, quint32 scanCode, Qt::KeyboardModifiers modifiers = {},
           bool autoRepeat = false, quint64 timestamp = 0) {
    QKeyEvent event(type, key, modifiers, scanCode, 0, 0, QString(), autoRepeat);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(&window_, &event);
  }

  std::vector<std::string> sent_;
  bool sendWorks_ = true;
  CaptureWindow window_{QStringLiteral("host:8102"), [this](std::string_view datagram) {
                          if (sendWorks_) {
                            sent_.emplace_back(datagram);
                          }
                          return sendWorks_;
                        }};
};

TEST_F(CaptureWindowTest, EveryKeyGoesAsItHappensTabIncluded) {
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("strokesender \u2192 host:8102"));
  Key(QEvent::KeyPress, Qt::Key_Tab, kTab);
  Key(QEvent::KeyPress, Qt::Key_Tab, kTab, {}, true);
  Key(QEvent::KeyRelease, Qt::Key_Tab, kTab, {}, true);
  Key(QEvent::KeyRelease, Qt::Key_Tab, kTab);
  Key(QEvent::KeyPress, Qt::Key_A, 0);  // a platform that names no key
  EXPECT_TRUE(Settle([this] { return sent_.size() == 3; }));
  EXPECT_EQ(sent_, (std::vector<std::string>{"?k09", "?k09", "?u09"}));
  EXPECT_TRUE(window_.hasFocus()) << "Tab moved the focus instead of being sent";
}

TEST_F(CaptureWindowTest, ARepeatToldAsReleaseAndPressAtOneTimeIsOnePress) {
  Key(QEvent::KeyPress, Qt::Key_A, kA, {}, false, 100);
  Key(QEvent::KeyRelease, Qt::Key_A, kA, {}, false, 700);
  Key(QEvent::KeyPress, Qt::Key_A, kA, {}, false, 700);
  Key(QEvent::KeyRelease, Qt::Key_A, kA, {}, false, 740);
  Key(QEvent::KeyPress, Qt::Key_A, kA, {}, false, 760);  // a new press: the release before it was real
  Key(QEvent::KeyRelease, Qt::Key_A, kA, {}, false, 800);
  EXPECT_TRUE(Settle([this] { return sent_.size() == 5; }));
  EXPECT_EQ(sent_, (std::vector<std::string>{"?k41", "?k41", "?u41", "?k41", "?u41"}));
}

TEST_F(CaptureWindowTest, LosingTheFocusLetsGoOfHeldKeysOnce) {
  Key(QEvent::KeyPress, Qt::Key_Control, kLeftCtrl, Qt::ControlModifier);
  Key(QEvent::KeyPress, Qt::Key_A, kA, Qt::ControlModifier);
  Key(QEvent::KeyRelease, Qt::Key_A, kA, Qt::ControlModifier);  // waiting to be told from a repeat
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(Settle([this] { return !window_.isActiveWindow(); }));
  window_.close();
  // The release of A goes alone or with Ctrl's, depending on whether its wait ended first.
  std::string commands;
  for (const std::string& datagram : sent_) {
    commands += datagram.substr(1);
  }
  EXPECT_EQ(commands, "ka2k41u41ua2");
}

TEST_F(CaptureWindowTest, ADatagramThatCannotBeSentClosesTheWindow) {
  sendWorks_ = false;
  Key(QEvent::KeyPress, Qt::Key_A, kA);
  EXPECT_TRUE(window_.Failed());
  EXPECT_FALSE(window_.isVisible());
}

// The window speaks German where the locale asks for it and English everywhere else, and its texts fit.
TEST_F(CaptureWindowTest, SpeaksTheLocalesLanguageAndItsTextsFit) {
  struct Case {
    const char* lang;
    const char* help;
    const char* state;
  };
  for (const Case& c : {Case{"ja_JP.UTF-8", "Every key you press", "Typing on host:8102."},
                        Case{"C", "Every key you press", "Typing on host:8102."},
                        Case{"en_US.UTF-8", "Every key you press", "Typing on host:8102."},
                        Case{"de_DE.UTF-8", "Jede Taste, die Sie", "Tippt auf host:8102."},
                        Case{"fr_FR.UTF-8", "Every key you press", "Typing on host:8102."}}) {
    test::UseLanguageOf(c.lang);
    InstallInterfaceTranslation();
    CaptureWindow window(QStringLiteral("host:8102"), [](std::string_view) { return true; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(Settle([&window] { return window.isActiveWindow(); })) << c.lang;
    const QStringList texts = test::ShownTexts(&window);
    EXPECT_EQ(texts.filter(QString::fromUtf8(c.help)).size(), 1)
        << c.lang << ": " << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QString::fromUtf8(c.state)))
        << c.lang << ": " << texts.join('|').toStdString();
    EXPECT_TRUE(test::TextsThatDoNotFit(&window).isEmpty())
        << c.lang << ": " << test::TextsThatDoNotFit(&window).join('\n').toStdString();
  }
  test::UseLanguageOf("C.UTF-8");
  InstallInterfaceTranslation();
}

}  // namespace
}  // namespace srd::sender
