#include "platform/ui/qt_ui_backend.h"

#include <fcntl.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "platform/ui/qt_dialog_font.h"
#include "platform/ui/qt_icon.h"
#include "platform/ui/x_display_probe.h"

namespace srd {

namespace {

// Extra window and control styles that only this backend looks at.
constexpr std::uint32_t kHorizontalScroll = 0x00100000;  // WS_HSCROLL
constexpr std::uint32_t kButtonTypeMask = 0x0F;
constexpr std::uint32_t kStaticTypeMask = 0x1F;

// What the backend keeps for one window of the layer. The widgets' handlers reach the layer only through
// `window`, which is cleared the moment the layer destroys the window.
struct QtWindowData {
  Window* window = nullptr;
  // The frame, dialog or control; menu bars: the frame's QMenuBar. Guarded: Qt deletes a pop-up dialog with
  // its owner's frame, which a stop request can destroy while the dialog still runs.
  QPointer<QWidget> widget;
  QPointer<QWidget> client;  // where child windows go: a frame's central widget, a dialog itself
  DialogBaseUnits base{7, 13};
  bool settingText = false;  // the program is setting an edit box's text: not a user edit
  bool focusGiven = false;   // a dialog's first control has had the initial focus
};

QtWindowData* DataOf(const Window* window) {
  return window != nullptr ? static_cast<QtWindowData*>(window->backendData) : nullptr;
}

QString ToQString(const std::u16string& text) {
  return QString::fromStdU16String(text);
}

// Counts a depth up for the life of a scope.
class ScopedDepth {
 public:
  explicit ScopedDepth(int& depth) : depth_(depth) { ++depth_; }
  ~ScopedDepth() { --depth_; }
  ScopedDepth(const ScopedDepth&) = delete;
  ScopedDepth& operator=(const ScopedDepth&) = delete;

 private:
  int& depth_;
};

// While the backend applies the layer's own changes to the widgets, the widgets' change events must not be
// reported back as if the user had made them.
int g_applying = 0;

// Depth of calls into the layer made from inside Qt's event handling. A Wait reached from there (a handler
// that runs a modal loop) must not delete objects that Qt code further up the stack may still use.
int g_notifying = 0;

// Posted to the waker to end a processEvents that is waiting.
class Waker final : public QObject {
 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      return true;
    }
    return QObject::event(event);
  }
};

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

// The top-level window: a menu bar over a white client area that holds the child dialogs.
// A multi-line edit box. Every way text comes in from outside (Ctrl+V, Shift+Insert, the middle button's
// primary selection, the context menu's Paste, a drop) reaches insertFromMimeData. Qt 6.4's text control
// reads the first format of that data without looking whether there is one, and data with none is what an
// empty clipboard, a selection nobody owns or a drop of nothing gives: it would crash the program. Such data
// inserts nothing, as a paste from an empty clipboard does in any text box.
class EditBox final : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  bool canInsertFromMimeData(const QMimeData* source) const override {
    return HasAnyFormat(source) && QPlainTextEdit::canInsertFromMimeData(source);
  }
  void insertFromMimeData(const QMimeData* source) override {
    if (HasAnyFormat(source)) {
      QPlainTextEdit::insertFromMimeData(source);
    }
  }

 private:
  static bool HasAnyFormat(const QMimeData* source) {
    return source != nullptr && !source->formats().isEmpty();
  }
};

class Frame final : public QMainWindow {
 public:
  explicit Frame(QtWindowData* windowData) : data_(windowData) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (data_->window != nullptr) {
      PostMessage(data_->window, WM_CLOSE, 0, 0);
    }
  }
  void changeEvent(QEvent* event) override {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && g_applying == 0 && data_->window != nullptr) {
      const ScopedDepth notifying(g_notifying);
      NotifyShowState(data_->window, isMinimized());
    }
  }
  void moveEvent(QMoveEvent* event) override {
    QMainWindow::moveEvent(event);
    ReportPlacement();
  }
  void resizeEvent(QResizeEvent* event) override {
    QMainWindow::resizeEvent(event);
    ReportPlacement();
  }

 private:
  // The layer's rectangle of a top-level window is its client area below the menu bar, in screen pixels.
  void ReportPlacement() {
    if (g_applying != 0 || data_->window == nullptr || !isVisible() || data_->client == nullptr) {
      return;
    }
    const QPoint origin = data_->client->mapToGlobal(QPoint(0, 0));
    const Rect rect{origin.x(), origin.y(), origin.x() + data_->client->width(),
                    origin.y() + data_->client->height()};
    const ScopedDepth notifying(g_notifying);
    NotifyMoved(data_->window, rect);
  }

  QtWindowData* data_;
};

// A pop-up dialog (modal or not). It never ends itself: closing, Escape and Enter become commands for the
// dialog's handler, which ends it through the layer.
class PopupDialog final : public QDialog {
 public:
  PopupDialog(QtWindowData* windowData, QWidget* owner) : QDialog(owner), data_(windowData) {}

  void accept() override {}
  void reject() override { RequestDialogClose(data_->window); }
  void done(int result) override { (void)result; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    RequestDialogClose(data_->window);
  }

 private:
  QtWindowData* data_;
};

// The interface's texts were laid out for the handheld's narrow Gothic font; the Japanese fonts here are
// wider, so a wrapped label can need one line more than its rectangle holds. Such a label gets a slightly
// smaller font, in half-point steps down to 7/9 of the dialog font, so that no line is cut off.
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
  while (label->heightForWidth(label->width()) > label->height() && font.pointSizeF() - 0.5 >= smallest) {
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

// Gives the focus to the first visible, enabled control with a tab stop, as a dialog does when it opens.
void GiveInitialFocus(QtWindowData* data) {
  if (data->focusGiven || data->window == nullptr) {
    return;
  }
  for (Window* child : data->window->children) {
    QtWindowData* c = DataOf(child);
    if (child->kind != WindowKind::Control || c == nullptr || c->widget == nullptr) {
      continue;
    }
    if ((child->style & WS_TABSTOP) != 0 && child->visible && child->enabled) {
      c->widget->setFocus(Qt::TabFocusReason);
      data->focusGiven = true;
      return;
    }
  }
}

class QtUiBackend final : public UiBackend {
 public:
  QtUiBackend() : waker_(new Waker) {}

  ~QtUiBackend() override {
    watches_.clear();
    // Windows the layer did not destroy (it normally destroys all of them first).
    for (QtWindowData* data : topLevels_) {
      delete data->widget.data();
      data->widget = nullptr;
    }
    for (QtWindowData* data : all_) {
      if (data->window != nullptr) {
        data->window->backendData = nullptr;
      }
      delete data;
    }
    delete waker_;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QtUiBackend(const QtUiBackend&) = delete;
  QtUiBackend& operator=(const QtUiBackend&) = delete;

  const char* Name() const override { return "qt"; }

  void OnWindowCreated(Window* window) override {
    auto* data = new QtWindowData;
    data->window = window;
    window->backendData = data;
    all_.insert(data);
    const ScopedDepth applying(g_applying);
    switch (window->kind) {
      case WindowKind::TopLevel:
        MakeFrame(data);
        break;
      case WindowKind::Dialog:
        MakeDialog(data);
        break;
      case WindowKind::Control:
        MakeControl(data);
        break;
      case WindowKind::MenuBar:
      case WindowKind::Remote:
        break;
    }
  }

  void OnWindowDestroyed(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr) {
      return;
    }
    const ScopedDepth applying(g_applying);
    data->window = nullptr;
    window->backendData = nullptr;
    if (window->kind == WindowKind::MenuBar) {
      if (auto* bar = qobject_cast<QMenuBar*>(data->widget.data())) {
        bar->clear();
        bar->hide();
      }
    } else {
      // Nothing of Qt is on the stack here (the widgets only post messages), so the widget can go at once.
      delete data->widget.data();
    }
    topLevels_.erase(data);
    all_.erase(data);
    delete data;
  }

  void OnTextChanged(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr) {
      return;
    }
    const ScopedDepth applying(g_applying);
    const QString text = ToQString(window->text);
    if (auto* label = qobject_cast<QLabel*>(data->widget.data())) {
      label->setText(text);
      FitWrappedLabel(label);
    } else if (auto* button = qobject_cast<QPushButton*>(data->widget.data())) {
      button->setText(text);
    } else if (auto* line = qobject_cast<QLineEdit*>(data->widget.data())) {
      line->setText(text);
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(data->widget.data())) {
      data->settingText = true;
      QString plain = text;
      plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      box->setPlainText(plain);
      data->settingText = false;
    } else if (data->widget->isWindow()) {
      data->widget->setWindowTitle(TitleOf(window));
    }
  }

  void OnShow(Window* window, int showCommand) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr || window->kind == WindowKind::MenuBar) {
      return;
    }
    const ScopedDepth applying(g_applying);
    QWidget* widget = data->widget;
    if (!widget->isWindow()) {
      widget->setVisible(window->visible);
      if (window->visible && window->kind == WindowKind::Dialog) {
        GiveInitialFocus(data);
      }
      return;
    }
    if (!window->visible) {
      widget->hide();
      return;
    }
    if (window->modal && !widget->isVisible()) {
      widget->setWindowModality(Qt::ApplicationModal);
    }
    if (window->minimized) {
      widget->showMinimized();
      return;
    }
    if (widget->isMinimized()) {
      widget->showNormal();
    } else {
      widget->show();
    }
    if (window->kind == WindowKind::Dialog) {
      GiveInitialFocus(data);
    }
    const bool activates =
        showCommand != SW_SHOWNOACTIVATE && showCommand != SW_SHOWNA && showCommand != SW_SHOWMINNOACTIVE;
    if (activates) {
      widget->raise();
      widget->activateWindow();
    }
  }

  void OnMoved(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr) {
      return;
    }
    // Dialogs and controls are laid out from their templates with the real font; only a top-level window's
    // size is the program's to set.
    if (window->kind == WindowKind::TopLevel) {
      const ScopedDepth applying(g_applying);
      FitFrame(data);
    }
  }

  void OnEnabled(Window* window) override {
    QtWindowData* data = DataOf(window);
    // An owner disabled for a modal run stays as it looks: the modal dialog already takes all input.
    if (data != nullptr && data->widget != nullptr && window->kind == WindowKind::Control) {
      data->widget->setEnabled(window->enabled);
    }
  }

  bool OnMenuBar(Window* bar, const MenuResource& menu) override {
    QtWindowData* data = DataOf(bar);
    QtWindowData* frameData = DataOf(bar->parent);
    auto* frame = frameData != nullptr ? qobject_cast<QMainWindow*>(frameData->widget.data()) : nullptr;
    if (data == nullptr || frame == nullptr) {
      return false;
    }
    const ScopedDepth applying(g_applying);
    QMenuBar* menuBar = frame->menuBar();
    menuBar->clear();
    Window* target = bar->parent;
    for (const MenuItem& item : menu.items) {
      if (!item.popup.empty()) {
        QMenu* popup = menuBar->addMenu(ToQString(item.text));
        popup->setFont(frame->font());
        for (const MenuItem& sub : item.popup) {
          AddMenuCommand(popup, sub, target);
        }
      } else {
        AddMenuCommand(menuBar, item, target);
      }
    }
    menuBar->show();
    data->widget = menuBar;
    FitFrame(frameData);
    return true;
  }

  void OnModal(Window* dialog, Window* owner, bool begin) override {
    QtWindowData* data = DataOf(dialog);
    if (data == nullptr || data->widget == nullptr) {
      return;
    }
    const ScopedDepth applying(g_applying);
    QWidget* widget = data->widget;
    if (begin) {
      if (widget->isWindow() && widget->windowModality() != Qt::ApplicationModal) {
        const bool shown = widget->isVisible();
        widget->hide();
        widget->setWindowModality(Qt::ApplicationModal);
        widget->setVisible(shown);
      }
      GiveInitialFocus(data);
      widget->raise();
      widget->activateWindow();
      return;
    }
    // The dialog is about to go: hand the activation back to its owner, which a window manager may not do
    // for a window it never saw lose the focus.
    widget->hide();
    if (QtWindowData* ownerData = DataOf(owner); ownerData != nullptr && ownerData->widget != nullptr) {
      QWidget* top = ownerData->widget->window();
      if (top->isVisible() && !top->isMinimized()) {
        top->activateWindow();
      }
    }
  }

  void BringToFront(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr) {
      return;
    }
    const ScopedDepth applying(g_applying);
    QWidget* top = data->widget->window();
    if (top->isMinimized()) {
      top->showNormal();
    } else {
      top->show();
    }
    top->raise();
    top->activateWindow();
  }

  void OnPaint(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data != nullptr && data->widget != nullptr) {
      data->widget->update();
    }
  }

  void Wait() override {
    if (woken_.exchange(false)) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // A Wake from here on is for messages the caller is about to look at anyway.
    woken_.store(false);
    RunReadyWatches();
    if (g_notifying == 0) {
      // Without exec() nothing else runs deleteLater's work; no Qt handler is on the stack here.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  }

  void Wake() override {
    woken_.store(true);
    QCoreApplication::postEvent(waker_, new QEvent(QEvent::User));
  }

  bool WatchFd(int fd, std::function<void()> onReadable) override {
    if (fd < 0 || !onReadable) {
      return false;
    }
    auto watch = std::make_unique<Watch>();
    watch->callback = std::move(onReadable);
    watch->notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
    Watch* raw = watch.get();
    // The callback runs after processEvents has returned, outside Qt's dispatch, so that it may watch and
    // unwatch descriptors (its own too) and post or send messages freely.
    QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, raw->notifier.get(), [raw] {
      raw->ready = true;
      raw->notifier->setEnabled(false);
    });
    watches_[fd] = std::move(watch);
    return true;
  }

  void UnwatchFd(int fd) override { watches_.erase(fd); }

 private:
  struct Watch {
    std::function<void()> callback;
    std::unique_ptr<QSocketNotifier> notifier;
    bool ready = false;
  };

  void RunReadyWatches() {
    std::vector<int> ready;
    for (const auto& [fd, watch] : watches_) {
      if (watch->ready) {
        ready.push_back(fd);
      }
    }
    for (int fd : ready) {
      auto it = watches_.find(fd);
      if (it == watches_.end() || !it->second->ready) {
        continue;
      }
      it->second->ready = false;
      auto callback = it->second->callback;
      callback();
      // Looked up afresh: the callback may have unwatched or replaced the descriptor.
      it = watches_.find(fd);
      if (it == watches_.end() || it->second->ready) {
        continue;
      }
      if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
        watches_.erase(it);  // closed without being unwatched: forget it rather than spin on it
        continue;
      }
      it->second->notifier->setEnabled(true);
    }
  }

  static QString TitleOf(const Window* window) {
    if (!window->text.empty() || window->owner == nullptr) {
      return ToQString(window->text);
    }
    // A dialog without a caption carries its owner's title, so that it can be told apart on a desktop.
    return ToQString(window->owner->text);
  }

  void MakeFrame(QtWindowData* data) {
    Window* window = data->window;
    // X11 names the window class after the application; it is fixed when the first native window appears.
    if (topLevels_.empty() && !window->className.empty()) {
      QCoreApplication::setApplicationName(ToQString(window->className));
    }
    auto* frame = new Frame(data);
    frame->setFont(DefaultFont());
    frame->setWindowTitle(TitleOf(window));
    if (window->icon != nullptr) {
      const QIcon icon = IconResourceToQIcon(*window->icon);
      frame->setWindowIcon(icon);
      if (QApplication::windowIcon().isNull()) {
        QApplication::setWindowIcon(icon);
      }
    }
    auto* client = new QWidget(frame);
    if (window->background == WHITE_BRUSH) {
      MakeWhite(client);
    }
    frame->setCentralWidget(client);
    data->widget = frame;
    data->client = client;
    topLevels_.insert(data);
    FitFrame(data);
  }

  // The client area gets the program's size, and at least room for the child dialogs laid out on it.
  void FitFrame(QtWindowData* data) {
    auto* frame = qobject_cast<QMainWindow*>(data->widget.data());
    if (frame == nullptr || data->client == nullptr) {
      return;
    }
    const Rect& r = data->window != nullptr ? data->window->rect : Rect{};
    QSize size(std::max(0, r.right - r.left), std::max(0, r.bottom - r.top));
    for (QObject* object : data->client->children()) {
      if (auto* child = qobject_cast<QWidget*>(object)) {
        size = size.expandedTo(QSize(child->x() + child->width(), child->y() + child->height()));
      }
    }
    data->client->setMinimumSize(size);
    frame->resize(frame->sizeHint().expandedTo(frame->minimumSizeHint()));
  }

  void MakeDialog(QtWindowData* data) {
    Window* window = data->window;
    QFont font = DefaultFont();
    QRect geometry(0, 0, 0, 0);
    if (window->dialogTemplate != nullptr) {
      font = DialogFont(*window->dialogTemplate);
      data->base = MeasureDialogBaseUnits(font);
      const DialogTemplate& t = *window->dialogTemplate;
      geometry = DialogUnitsToPixels(t.x, t.y, t.cx, t.cy, data->base);
    } else {
      const Rect& r = window->rect;
      geometry = QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    QtWindowData* parentData = DataOf(window->parent);
    if (window->parent != nullptr && parentData != nullptr && parentData->client != nullptr) {
      auto* child = new QWidget(parentData->client);
      child->setFont(font);
      child->setGeometry(geometry);
      child->hide();
      data->widget = child;
      data->client = child;
      if (parentData->window != nullptr && parentData->window->kind == WindowKind::TopLevel) {
        FitFrame(parentData);
      }
      return;
    }
    QtWindowData* ownerData = DataOf(window->owner);
    QWidget* ownerWidget =
        ownerData != nullptr && ownerData->widget != nullptr ? ownerData->widget->window() : nullptr;
    auto* dialog = new PopupDialog(data, ownerWidget);
    dialog->setFont(font);
    dialog->setWindowTitle(TitleOf(window));
    dialog->resize(geometry.size());
    MakeWhite(dialog);
    if (window->modal) {
      dialog->setWindowModality(Qt::ApplicationModal);
    }
    data->widget = dialog;
    data->client = dialog;
  }

  void MakeControl(QtWindowData* data) {
    Window* window = data->window;
    QtWindowData* dialogData = DataOf(window->parent);
    if (dialogData == nullptr || dialogData->client == nullptr) {
      return;
    }
    QWidget* parent = dialogData->client;
    QRect geometry;
    if (const ControlTemplate* t = window->controlTemplate) {
      geometry = DialogUnitsToPixels(t->x, t->y, t->cx, t->cy, dialogData->base);
    } else {
      const Rect& r = window->rect;
      geometry = QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    const std::u16string& kind = window->className;
    const QString text = ToQString(window->text);
    QWidget* widget = nullptr;
    if (kind == u"Button") {
      auto* button = new QPushButton(text, parent);
      button->setDefault((window->style & kButtonTypeMask) == BS_DEFPUSHBUTTON);
      button->setFocusPolicy((window->style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus);
      QObject::connect(button, &QPushButton::clicked, button, [data] {
        if (data->window != nullptr && data->window->parent != nullptr) {
          PostMessage(data->window->parent, WM_COMMAND,
                      MakeWParam(static_cast<std::uint32_t>(data->window->id), BN_CLICKED),
                      reinterpret_cast<LParam>(data->window));
        }
      });
      widget = button;
    } else if (kind == u"Edit") {
      widget = MakeEdit(data, parent, text);
    } else {
      auto* label = new QLabel(parent);
      if ((window->style & kStaticTypeMask) == SS_ICON) {
        if (window->icon != nullptr && !window->icon->images.empty()) {
          const QImage picture = IconImageToQImage(window->icon->images.front());
          label->setPixmap(QPixmap::fromImage(picture));
          // An icon control takes the size of its picture.
          geometry.setSize(picture.size());
        }
      } else {
        // Plain text always: a host name or an entry must never be read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
      }
      widget = label;
    }
    widget->setGeometry(geometry);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      FitWrappedLabel(label);
    }
    widget->setEnabled(window->enabled);
    widget->setVisible(window->visible);
    data->widget = widget;
  }

  QWidget* MakeEdit(QtWindowData* data, QWidget* parent, const QString& text) {
    const std::uint32_t style = data->window->style;
    const Qt::FocusPolicy focus = (style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
    auto notify = [data](const QString& now) {
      if (data->window == nullptr || data->settingText) {
        return;
      }
      const ScopedDepth notifying(g_notifying);
      NotifyTextEdited(data->window, now.toStdU16String());
      if (data->window != nullptr && data->window->parent != nullptr) {
        PostMessage(data->window->parent, WM_COMMAND,
                    MakeWParam(static_cast<std::uint32_t>(data->window->id), EN_CHANGE),
                    reinterpret_cast<LParam>(data->window));
      }
    };
    if ((style & ES_MULTILINE) == 0) {
      auto* line = new QLineEdit(text, parent);
      line->setFrame((style & WS_BORDER) != 0);
      line->setFocusPolicy(focus);
      QObject::connect(line, &QLineEdit::textEdited, line, notify);
      return line;
    }
    auto* box = new EditBox(parent);
    box->setFocusPolicy(focus);
    box->setTabChangesFocus(true);
    box->setLineWrapMode((style & ES_AUTOHSCROLL) != 0 ? QPlainTextEdit::NoWrap
                                                       : QPlainTextEdit::WidgetWidth);
    box->setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy((style & kHorizontalScroll) != 0 ? Qt::ScrollBarAlwaysOn
                                                                       : Qt::ScrollBarAlwaysOff);
    if ((style & WS_BORDER) == 0) {
      box->setFrameShape(QFrame::NoFrame);
    }
    data->settingText = true;
    box->setPlainText(text);
    data->settingText = false;
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, notify] {
      // The program sees the edit box's text with the line breaks of the handheld's edit boxes.
      QString now = box->toPlainText();
      now.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
      notify(now);
    });
    return box;
  }

  void AddMenuCommand(QWidget* menu, const MenuItem& item, Window* target) {
    if (item.text.empty() && item.id == 0) {
      auto* separator = new QAction(menu);
      separator->setSeparator(true);
      menu->addAction(separator);
      return;
    }
    auto* action = new QAction(ToQString(item.text), menu);
    const int id = item.id;
    QObject::connect(action, &QAction::triggered, action, [target, id] {
      PostMessage(target, WM_COMMAND, MakeWParam(static_cast<std::uint32_t>(id), 0), 0);
    });
    menu->addAction(action);
  }

  // The font of everything that is not a dialog: the frame, its menu bar and menus.
  static QFont DefaultFont() {
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPointSize(9);
    return font;
  }

  Waker* waker_;
  std::atomic<bool> woken_{false};
  std::map<int, std::unique_ptr<Watch>> watches_;
  std::set<QtWindowData*> topLevels_;
  std::set<QtWindowData*> all_;
};

bool QtWaylandPluginPresent() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// The Qt platform to open, or empty when none can work. An explicit QT_QPA_PLATFORM is taken as it is.
std::string ChooseQtPlatform() {
  if (EnvSet("QT_QPA_PLATFORM")) {
    const std::string asked = std::getenv("QT_QPA_PLATFORM");
    if (asked == "xcb" && !XDisplayAnswers()) {
      return std::string();
    }
    return asked;
  }
  // Qt's X platform ends the process when it cannot connect: look first.
  const bool x = EnvSet("DISPLAY") && XDisplayAnswers();
  const bool wayland = EnvSet("WAYLAND_DISPLAY") && QtWaylandPluginPresent();
  if (wayland && x) {
    return "wayland;xcb";
  }
  if (wayland) {
    return "wayland";
  }
  if (x) {
    return "xcb";
  }
  return std::string();
}

// A text caret that blinks for ever keeps an idle program waking twice a second to repaint it (the panel's
// test box has the focus from the start). As desktops commonly do, the caret stops blinking after a while
// without input, steadily shown, and blinks again from the next key, click or focus change.
class CaretBlinkLimiter final : public QObject {
 public:
  explicit CaretBlinkLimiter(QObject* parent) : QObject(parent), flashTime_(QApplication::cursorFlashTime()) {
    idle_.setSingleShot(true);
    idle_.setInterval(kIdleMs);
    QObject::connect(&idle_, &QTimer::timeout, this, [] { QApplication::setCursorFlashTime(0); });
    idle_.start();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::FocusIn:
      case QEvent::InputMethod:
        if (flashTime_ > 0 && QApplication::cursorFlashTime() != flashTime_) {
          QApplication::setCursorFlashTime(flashTime_);
        }
        idle_.start();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static constexpr int kIdleMs = 10000;
  int flashTime_;
  QTimer idle_;
};

}  // namespace

bool QtDisplayRequested() {
  return EnvSet("WAYLAND_DISPLAY") || EnvSet("DISPLAY") || EnvSet("QT_QPA_PLATFORM");
}

std::unique_ptr<UiBackend> CreateQtUiBackend() {
  if (QCoreApplication::instance() == nullptr) {
    const std::string platform = ChooseQtPlatform();
    if (platform.empty()) {
      return nullptr;
    }
    setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    InstallDialogFontSubstitutions();
    // Kept for the life of the process: Qt does not support making a second application object after the
    // first one has gone, and the layer may be set up more than once (tests).
    static int argc = 1;
    static char name[] = "strokerelayd";
    static char* argv[] = {name, nullptr};
    auto* application = new QApplication(argc, argv);
    application->installEventFilter(new CaretBlinkLimiter(application));
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return nullptr;  // an application object without widgets
  }
  InstallDialogFontSubstitutions();
  QApplication::setQuitOnLastWindowClosed(false);
  return std::make_unique<QtUiBackend>();
}

QWidget* QtWidgetOf(const Window* window) {
  QtWindowData* data = DataOf(window);
  return data != nullptr ? data->widget : nullptr;
}

}  // namespace srd
