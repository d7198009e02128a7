#pragma once

#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>

#include "platform/ui/qt/backend_context.h"

class QMimeData;

namespace srd {

// A multi-line edit box. Every way text comes in from outside (Ctrl+V, Shift+Insert, the middle button's
// primary selection, the context menu's Paste, a drop) reaches insertFromMimeData. Qt 6.4's text control
// reads the first format of that data without looking whether there is one, and data with none is what an
// empty clipboard, a selection nobody owns or a drop of nothing gives: it would crash the program. Such data
// inserts nothing, as a paste from an empty clipboard does in any text box.
//
// It also keeps only its last characters: the program's multi-line box is its test box, where keys are
// watched as they arrive, and a flood of them must cost the same per key however much came before.
class EditBox final : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // At most this many characters stay, once more than kTrimAbove have come in (trimming in steps keeps its
  // own cost per key constant too).
  static constexpr int kKeptCharacters = 256;
  static constexpr int kTrimAbove = 512;
  // Removes the oldest text (and the undo steps that would bring it back) when the box holds more than
  // kTrimAbove characters. True when it did.
  bool KeepLastCharacters();

 protected:
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  static bool HasAnyFormat(const QMimeData* source);
};

// The top-level window: a menu bar over a white client area that holds the child dialogs.
class Frame final : public QMainWindow {
 public:
  explicit Frame(QtWindowData* windowData) : data_(windowData) {}

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ReportPlacement();

  QtWindowData* data_;
};

// A pop-up dialog (modal or not). It never ends itself: closing, Escape and Enter become commands for the
// dialog's handler, which ends it through the layer.
class PopupDialog final : public QDialog {
 public:
  PopupDialog(QtWindowData* windowData, QWidget* owner) : QDialog(owner), data_(windowData) {}

  void accept() override {}
  void reject() override;
  void done(int result) override { (void)result; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QtWindowData* data_;
};

// The interface's texts were laid out for the handheld's narrow Gothic font; the Japanese fonts here are
// wider, so a wrapped label can need one line more than its rectangle holds. Such a label gets a slightly
// smaller font, in half-point steps down to 7/9 of the dialog font, so that no line is cut off.
void FitWrappedLabel(QLabel* label);

// A white background, as the handheld's dialogs and client areas have.
void MakeWhite(QWidget* widget);

}  // namespace srd
