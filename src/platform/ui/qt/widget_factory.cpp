#include "platform/ui/qt/widget_factory.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include <algorithm>

#include "platform/ui/qt/icon.h"
#include "platform/ui/qt/translation.h"
#include "platform/ui/qt/widgets.h"
#include "platform/ui/ui_backend.h"

namespace srd {

namespace {

// Extra window and control styles that only this backend looks at.
constexpr std::uint32_t kHorizontalScroll = 0x00100000;  // WS_HSCROLL
constexpr std::uint32_t kButtonTypeMask = 0x0F;
constexpr std::uint32_t kStaticTypeMask = 0x1F;

// The font of everything that is not a dialog: the frame, its menu bar and menus.
QFont DefaultFont() {
  QFont font(QStringLiteral("MS UI Gothic"));
  font.setPointSize(9);
  return font;
}

QWidget* MakeEdit(QtWindowData* data, QWidget* parent, const QString& text) {
  const std::uint32_t style = data->window->style;
  const Qt::FocusPolicy focus = (style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus;
  auto notify = [data](const QString& now) {
    if (data->window == nullptr || data->settingText) {
      return;
    }
    const ScopedDepth notifying(data->context->notifying);
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
  box->setLineWrapMode((style & ES_AUTOHSCROLL) != 0 ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
  box->setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  box->setHorizontalScrollBarPolicy((style & kHorizontalScroll) != 0 ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAlwaysOff);
  if ((style & WS_BORDER) == 0) {
    box->setFrameShape(QFrame::NoFrame);
  }
  data->settingText = true;
  box->setPlainText(text);
  data->settingText = false;
  QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, data, notify] {
    if (data->settingText) {
      return;
    }
    data->settingText = true;  // the trimming's own change is no edit of the user's
    box->KeepLastCharacters();
    data->settingText = false;
    // The program sees the edit box's text with the line breaks of the handheld's edit boxes.
    QString now = box->toPlainText();
    now.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    notify(now);
  });
  return box;
}

}  // namespace

QString TitleOf(const Window* window) {
  if (!window->text.empty() || window->owner == nullptr) {
    return ToQString(window->text);
  }
  // A dialog without a caption carries its owner's title, so that it can be told apart on a desktop.
  return ToQString(window->owner->text);
}

void MakeFrame(QtWindowData* data) {
  Window* window = data->window;
  // X11 names the window class after the application; it is fixed when the first native window appears.
  if (data->context->topLevels.empty() && !window->className.empty()) {
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
  data->context->topLevels.insert(data);
  FitFrame(data);
}

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
  // What the user types is theirs; every other text is the program's, shown in the user's language.
  const QString text = kind == u"Edit" ? ToQString(window->text) : ShownText(window->text);
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

void AddMenuCommand(QWidget* menu, const MenuItem& item, Window* target) {
  if (item.text.empty() && item.id == 0) {
    auto* separator = new QAction(menu);
    separator->setSeparator(true);
    menu->addAction(separator);
    return;
  }
  auto* action = new QAction(ShownText(item.text, kMenuDisambiguation), menu);
  const int id = item.id;
  QObject::connect(action, &QAction::triggered, action, [target, id] {
    PostMessage(target, WM_COMMAND, MakeWParam(static_cast<std::uint32_t>(id), 0), 0);
  });
  menu->addAction(action);
}

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

}  // namespace srd
