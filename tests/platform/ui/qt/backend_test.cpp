#include "platform/ui/qt/backend.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/icon.h"
#include "platform/ui/qt/input_lag_limit.h"
#include "platform/ui/qt/widgets.h"
#include "platform/ui/window_layer.h"
#include "support/qt/qt_test_support.h"

namespace srd {
namespace {

using test::PumpUntil;

TEST(DialogUnitsTest, RoundsEachValueToTheNearestPixel) {
  const DialogBaseUnits base{7, 13};
  struct Case {
    int dialogUnits;
    int x;
    int y;
  };
  // 137 x 180 units are 239.75 x 292.5 pixels; halves round away from zero.
  for (const Case& c : {Case{0, 0, 0}, Case{4, 7, 7}, Case{8, 14, 13}, Case{14, 25, 23}, Case{50, 88, 81},
                        Case{137, 240, 223}, Case{180, 315, 293}, Case{-4, -7, -7}, Case{-2, -4, -3}}) {
    EXPECT_EQ(DialogUnitsToPixelsX(c.dialogUnits, base), c.x) << c.dialogUnits;
    EXPECT_EQ(DialogUnitsToPixelsY(c.dialogUnits, base), c.y) << c.dialogUnits;
  }
  EXPECT_EQ(DialogUnitsToPixels(20, 20, 24, 14, base), QRect(35, 33, 42, 23));
}

TEST(IconTest, PaletteIndicesBecomeColoursAndMaskedPixelsTransparent) {
  IconImage image;
  image.width = 2;
  image.height = 2;
  image.palette[0] = 0x000000;
  image.palette[1] = 0xFF0000;
  image.palette[15] = 0xFFFFFF;
  image.pixels = {1, 15, 0, 1};
  image.mask = {0, 0, 1, 0};
  const QImage picture = IconImageToQImage(image);
  ASSERT_EQ(picture.size(), QSize(2, 2));
  EXPECT_EQ(picture.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(picture.pixel(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(qAlpha(picture.pixel(0, 1)), 0);
  EXPECT_EQ(picture.pixel(1, 1), 0xFFFF0000u);

  image.pixels.resize(1);  // a short picture leaves the rest transparent rather than reading past its end
  EXPECT_EQ(qAlpha(IconImageToQImage(image).pixel(1, 1)), 0);
}

// What the handlers of the test dialogs saw.
std::vector<Msg> g_commands;

LResult RecordingDialogProc(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam) {
  // Edit notifications are left out: the tests look at clicks and close requests.
  if ((message == WM_COMMAND && HiWord(wParam) != EN_CHANGE) || message == WM_CLOSE) {
    g_commands.push_back(Msg{dialog, message, wParam, lParam});
  }
  return message == WM_INITDIALOG ? 1 : 0;
}

DialogTemplate TestTemplate(bool withCancel) {
  DialogTemplate t;
  t.id = 900;
  t.style = WS_POPUP | DS_SETFONT;
  t.fontName = u"MS UI Gothic";
  t.pointSize = 9;
  t.cx = 137;
  t.cy = 180;
  const auto control = [&t](int id, const char16_t* kind, std::uint32_t style, int x, int y, int cx, int cy,
                            const char16_t* text) {
    t.controls.push_back(
        {.id = id, .className = kind, .style = style, .x = x, .y = y, .cx = cx, .cy = cy, .text = text});
  };
  control(IDOK, u"Button", 0x50010001, 12, 100, 50, 14, u"OK");
  if (withCancel) {
    control(IDCANCEL, u"Button", 0x50010000, 72, 100, 50, 14, u"Cancel");
  }
  control(ID_NONE, u"Static", 0x50020000, 4, 24, 14, 8, u"<b>Port:</b>");
  control(1057, u"Edit", 0x50810080, 20, 20, 24, 14, u"");
  control(1018, u"Edit", 0x50a11084, 4, 124, 128, 52, u"");
  return t;
}

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_commands.clear();
    std::unique_ptr<UiBackend> backend = CreateQtUiBackend();
    ASSERT_NE(backend, nullptr);
    backend_ = backend.get();
    ASSERT_TRUE(InitWindowLayer(std::move(backend)));
  }
  void TearDown() override { ShutdownWindowLayer(); }

  // Takes and dispatches messages until one reached a test dialog's handler.
  void DispatchUntilCommand() {
    const std::size_t before = g_commands.size();
    for (int i = 0; i < 1000 && g_commands.size() == before; ++i) {
      Msg msg;
      if (PeekMessage(&msg) == 0) {
        backend_->Wait();
        continue;
      }
      DispatchMessage(&msg);
    }
  }

  UiBackend* backend_ = nullptr;
};

TEST_F(QtBackendTest, WaitEndsOnWakeFromAnotherThreadAndOnAWatchedDescriptor) {
  EXPECT_STREQ(backend_->Name(), "qt");
  backend_->Wake();
  backend_->Wait();  // a Wake before the Wait is not lost

  std::atomic<bool> woke{false};
  std::thread waker([&] {
    woke = true;
    backend_->Wake();
  });
  while (!woke) {
    backend_->Wait();
  }
  waker.join();

  int first[2];
  int second[2];
  ASSERT_EQ(pipe(first), 0);
  ASSERT_EQ(pipe(second), 0);
  int firstCalls = 0;
  int secondCalls = 0;
  // The first callback unwatches itself and watches the second pipe from inside Wait.
  ASSERT_TRUE(backend_->WatchFd(first[0], [&] {
    ++firstCalls;
    backend_->UnwatchFd(first[0]);
    backend_->WatchFd(second[0], [&] {
      char c;
      EXPECT_EQ(read(second[0], &c, 1), 1);
      ++secondCalls;
    });
  }));
  EXPECT_FALSE(backend_->WatchFd(-1, [] {}));
  ASSERT_EQ(write(first[1], "x", 1), 1);
  ASSERT_EQ(write(second[1], "y", 1), 1);
  for (int i = 0; i < 1000 && secondCalls == 0; ++i) {
    backend_->Wait();
  }
  EXPECT_EQ(firstCalls, 1);  // still readable, but no longer watched
  EXPECT_EQ(secondCalls, 1);
  backend_->UnwatchFd(second[0]);
  for (int fd : {first[0], first[1], second[0], second[1]}) {
    close(fd);
  }
}

TEST_F(QtBackendTest, TemplateControlsBecomeWidgetsThatReportWhatTheUserDoes) {
  const DialogTemplate t = TestTemplate(true);
  Window* dialog = CreateDialogIndirectParam(nullptr, &t, nullptr, RecordingDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);

  auto* widget = QtWidgetOf(dialog);
  ASSERT_NE(widget, nullptr);
  const DialogBaseUnits base = MeasureDialogBaseUnits(widget->font());
  EXPECT_EQ(widget->size(), QSize(DialogUnitsToPixelsX(137, base), DialogUnitsToPixelsY(180, base)));

  auto* ok = qobject_cast<QPushButton*>(QtWidgetOf(GetDlgItem(dialog, IDOK)));
  auto* cancel = qobject_cast<QPushButton*>(QtWidgetOf(GetDlgItem(dialog, IDCANCEL)));
  auto* line = qobject_cast<QLineEdit*>(QtWidgetOf(GetDlgItem(dialog, 1057)));
  auto* box = qobject_cast<QPlainTextEdit*>(QtWidgetOf(GetDlgItem(dialog, 1018)));
  ASSERT_TRUE(ok != nullptr && cancel != nullptr && line != nullptr && box != nullptr);
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(cancel->isDefault());
  EXPECT_EQ(line->geometry(), DialogUnitsToPixels(20, 20, 24, 14, base));
  EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::NoWrap);
  // The first control with a tab stop has the focus.
  EXPECT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == ok; }));

  // Label texts are never markup.
  QLabel* label = nullptr;
  for (auto* l : widget->findChildren<QLabel*>()) {
    label = l;
  }
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);

  // Typing reaches the layer, in full; the program's own text does not come back as an edit.
  QTest::keyClicks(line, QStringLiteral("12345678901234567890123456789012345"));
  EXPECT_EQ(GetWindowText(GetDlgItem(dialog, 1057)).size(), 35u);
  SetWindowText(GetDlgItem(dialog, 1018), u"one\r\ntwo");
  EXPECT_EQ(box->toPlainText(), QStringLiteral("one\ntwo"));
  QTest::keyClicks(box, QStringLiteral("!"));
  EXPECT_EQ(GetWindowText(GetDlgItem(dialog, 1018)), u"!one\r\ntwo");

  // A click is a command with the button's id in the low word, for the dialog.
  g_commands.clear();
  QTest::mouseClick(cancel, Qt::LeftButton);
  DispatchUntilCommand();
  ASSERT_FALSE(g_commands.empty());
  EXPECT_EQ(g_commands.front().message, WM_COMMAND);
  EXPECT_EQ(LoWord(g_commands.front().wParam), IDCANCEL);
  EXPECT_EQ(HiWord(g_commands.front().wParam), BN_CLICKED);

  // A flood into the multi-line box keeps only its last characters there and in the layer, so that every key
  // costs the same however many came before.
  QString flood;
  for (int i = 0; i < 4000; ++i) {
    flood += QChar(u'a' + i % 26);
  }
  box->moveCursor(QTextCursor::End);
  QTest::keyClicks(box, flood);
  const QString kept = box->toPlainText();
  EXPECT_LE(kept.size(), EditBox::kTrimAbove);
  EXPECT_GE(kept.size(), EditBox::kKeptCharacters);
  EXPECT_TRUE(flood.endsWith(kept));
  EXPECT_EQ(GetWindowText(GetDlgItem(dialog, 1018)), kept.toStdU16String());

  const QPointer<QWidget> shown = widget;
  DestroyWindow(dialog);
  EXPECT_TRUE(shown.isNull());
}

// Key events that arrive later than the limit after the X server made them are dropped; the offset between
// the two clocks is the smallest difference seen, whichever wraps.
TEST(InputLagLimitTest, DropsOnlyKeysThatArriveTooLate) {
  InputLagLimit limit(nullptr);
  EXPECT_FALSE(limit.TooLate(1000, 5000));
  EXPECT_FALSE(limit.TooLate(1100, 5100 + InputLagLimit::kMaxLagMs));
  EXPECT_TRUE(limit.TooLate(1200, 5201 + InputLagLimit::kMaxLagMs));
  EXPECT_FALSE(limit.TooLate(9000, 12000));  // a smaller difference: the clocks' offset was smaller
  EXPECT_TRUE(limit.TooLate(9100, 12101 + InputLagLimit::kMaxLagMs));
  EXPECT_FALSE(limit.TooLate(0xFFFFFFF0u, 0xFFFFFFF0u + 3000u));  // the server's clock about to wrap
  EXPECT_FALSE(limit.TooLate(0x10u, 0x10u + 3000u));
}

TEST_F(QtBackendTest, CaretStopsBlinkingWhenIdleAndBlinksAgainAtTheNextKey) {
  const DialogTemplate t = TestTemplate(true);
  Window* dialog = CreateDialogIndirectParam(nullptr, &t, nullptr, RecordingDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  auto* box = qobject_cast<QPlainTextEdit*>(QtWidgetOf(GetDlgItem(dialog, 1018)));
  ASSERT_NE(box, nullptr);
  QTest::keyClick(box, Qt::Key_A);
  const int flashTime = QApplication::cursorFlashTime();
  ASSERT_GT(flashTime, 0);
  // Left alone, the caret stops blinking, so nothing wakes the idle program to repaint it.
  EXPECT_TRUE(PumpUntil([] { return QApplication::cursorFlashTime() == 0; }, std::chrono::seconds(40)));
  QTest::keyClick(box, Qt::Key_B);
  EXPECT_EQ(QApplication::cursorFlashTime(), flashTime);
  DestroyWindow(dialog);
}

TEST_F(QtBackendTest, CloseButtonOfADialogIsItsCancelOrElseItsDoneCommand) {
  struct Case {
    bool withCancel;
    std::uint32_t exStyle;
    std::uint32_t expectedMessage;
    int expectedId;
  };
  for (const Case& c : {Case{true, WS_EX_CAPTIONOKBTN, WM_COMMAND, IDCANCEL},
                        Case{false, WS_EX_CAPTIONOKBTN, WM_COMMAND, IDOK}, Case{false, 0, WM_CLOSE, 0}}) {
    DialogTemplate t = TestTemplate(c.withCancel);
    t.exStyle = c.exStyle;
    Window* dialog = CreateDialogIndirectParam(nullptr, &t, nullptr, RecordingDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    g_commands.clear();
    QtWidgetOf(dialog)->close();
    DispatchUntilCommand();
    ASSERT_FALSE(g_commands.empty());
    EXPECT_EQ(g_commands.front().message, c.expectedMessage) << c.withCancel << c.exStyle;
    EXPECT_EQ(LoWord(g_commands.front().wParam), c.expectedId) << c.withCancel << c.exStyle;
    EXPECT_TRUE(QtWidgetOf(dialog)->isVisible());  // only the handler ends a dialog
    DestroyWindow(dialog);
  }
}

}  // namespace
}  // namespace srd
