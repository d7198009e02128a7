#include "platform/ui/qt/widgets.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/ui/ui_backend.h"

namespace srd {

namespace {

// The desktop counterpart of a dialog's caption buttons: the window's close button (and Escape) act as the
// dialog's Cancel button if it has one; a dialog without one (the About box) ends with the Done/OK command
// its caption would have carried; anything else gets a plain close request.
void RequestDialogClose(Window* dialog) {
  if (dialog == nullptr) {
    return;
  }
  if (Window* cancel = GetDlgItem(dialog, IDCANCEL)) {
    PostMessage(dialog, WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED), reinterpret_cast<LParam>(cancel));
    return;
  }
  if ((dialog->shellDialogFlags & SHIDIF_DONEBUTTON) != 0 || (dialog->exStyle & WS_EX_CAPTIONOKBTN) != 0) {
    PostMessage(dialog, WM_COMMAND, MakeWParam(IDOK, BN_CLICKED), 0);
    return;
  }
  PostMessage(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

bool EditBox::canInsertFromMimeData(const QMimeData* source) const {
  return HasAnyFormat(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void EditBox::insertFromMimeData(const QMimeData* source) {
  if (HasAnyFormat(source)) {
    QPlainTextEdit::insertFromMimeData(source);
  }
}

bool EditBox::KeepLastCharacters() {
  QTextDocument* text = document();
  const int count = text->characterCount();  // the document's length, known without a walk through it
  if (count <= kTrimAbove) {
    return false;
  }
  QTextCursor cursor(text);
  cursor.setPosition(count - kKeptCharacters, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  text->clearUndoRedoStacks();
  return true;
}

bool EditBox::HasAnyFormat(const QMimeData* source) {
  return source != nullptr && !source->formats().isEmpty();
}

void Frame::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (data_->window != nullptr) {
    PostMessage(data_->window, WM_CLOSE, 0, 0);
  }
}

void Frame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && data_->context->applying == 0 &&
      data_->window != nullptr) {
    const ScopedDepth notifying(data_->context->notifying);
    NotifyShowState(data_->window, isMinimized());
  }
}

void Frame::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  ReportPlacement();
}

void Frame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  ReportPlacement();
}

// The layer's rectangle of a top-level window is its client area below the menu bar, in screen pixels.
void Frame::ReportPlacement() {
  if (data_->context->applying != 0 || data_->window == nullptr || !isVisible() || data_->client == nullptr) {
    return;
  }
  const QPoint origin = data_->client->mapToGlobal(QPoint(0, 0));
  const Rect rect{origin.x(), origin.y(), origin.x() + data_->client->width(),
                  origin.y() + data_->client->height()};
  const ScopedDepth notifying(data_->context->notifying);
  NotifyMoved(data_->window, rect);
}

void PopupDialog::reject() {
  RequestDialogClose(data_->window);
}

void PopupDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  RequestDialogClose(data_->window);
}

void FitWrappedLabel(QLabel* label) {
  if (!label->wordWrap() || label->width() <= 0 || label->height() <= 0) {
    return;
  }
  QFont font = label->parentWidget() != nullptr ? label->parentWidget()->font() : label->font();
  label->setFont(font);
  if (font.pointSizeF() <= 0) {
    return;
  }
  const qreal smallest = font.pointSizeF() * 7.0 / 9.0;
  // Too tall when wrapped, or a word wider than the label (a short label such as "Port:" cannot wrap).
  const auto spills = [label] {
    const QRect inside = label->contentsRect();
    const QRect needed = QFontMetrics(label->font())
                             .boundingRect(QRect(0, 0, inside.width(), 100000),
                                           Qt::TextWordWrap | Qt::AlignLeft, label->text());
    return label->heightForWidth(label->width()) > label->height() || needed.width() > inside.width();
  };
  while (spills() && font.pointSizeF() - 0.5 >= smallest) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
  }
}

void MakeWhite(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::white);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace srd
