#include "platform/ui/qt/backend.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/ui/qt/backend_context.h"
#include "platform/ui/qt/caret_blink.h"
#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/qt/dialog_placement.h"
#include "platform/ui/qt/event_pump.h"
#include "platform/ui/qt/input_lag_limit.h"
#include "platform/ui/qt/platform_choice.h"
#include "platform/ui/qt/translation.h"
#include "platform/ui/qt/widget_factory.h"
#include "platform/ui/qt/widgets.h"

namespace srd {

namespace {

bool (*g_activationProbe)() = nullptr;

bool CompositorOffersActivation() {
  return g_activationProbe != nullptr && g_activationProbe();
}

// Mirrors the layer's windows as widgets; the widgets come from the factory, the waiting from the pump.
class QtUiBackend final : public UiBackend {
 public:
  QtUiBackend() : pump_(std::make_unique<QtEventPump>(context_)) {}

  ~QtUiBackend() override {
    pump_->UnwatchAll();
    // Windows the layer did not destroy (it normally destroys all of them first).
    for (QtWindowData* data : context_.topLevels) {
      delete data->widget.data();
      data->widget = nullptr;
    }
    for (QtWindowData* data : context_.all) {
      if (data->window != nullptr) {
        data->window->backendData = nullptr;
      }
      delete data;
    }
    pump_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  QtUiBackend(const QtUiBackend&) = delete;
  QtUiBackend& operator=(const QtUiBackend&) = delete;

  const char* Name() const override { return "qt"; }

  void OnWindowCreated(Window* window) override {
    auto* data = new QtWindowData;
    data->window = window;
    data->context = &context_;
    window->backendData = data;
    context_.all.insert(data);
    const ScopedDepth applying(context_.applying);
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
    const ScopedDepth applying(context_.applying);
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
    context_.topLevels.erase(data);
    context_.all.erase(data);
    delete data;
  }

  void OnTextChanged(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr) {
      return;
    }
    const ScopedDepth applying(context_.applying);
    const QString text = ToQString(window->text);
    if (auto* label = qobject_cast<QLabel*>(data->widget.data())) {
      label->setText(ShownText(window->text));
      FitWrappedLabel(label);
    } else if (auto* button = qobject_cast<QPushButton*>(data->widget.data())) {
      button->setText(ShownText(window->text));
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
    const ScopedDepth applying(context_.applying);
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
      const ScopedDepth applying(context_.applying);
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
    const ScopedDepth applying(context_.applying);
    QMenuBar* menuBar = frame->menuBar();
    menuBar->clear();
    Window* target = bar->parent;
    for (const MenuItem& item : menu.items) {
      if (!item.popup.empty()) {
        QMenu* popup = menuBar->addMenu(ShownText(item.text, kMenuDisambiguation));
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
    const ScopedDepth applying(context_.applying);
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

  void OnShellDialogInit(Window* dialog) override {
    QtWindowData* data = DataOf(dialog);
    if (data != nullptr && (dialog->shellDialogFlags & SHIDIF_SIZEDLGFULLSCREEN) != 0) {
      const ScopedDepth applying(context_.applying);
      CoverOwner(data);
    }
  }

  FrontResult BringToFront(Window* window, const std::string& activationToken) override {
    QtWindowData* data = DataOf(window);
    if (data == nullptr || data->widget == nullptr) {
      return FrontResult::NoWindow;
    }
    const ScopedDepth applying(context_.applying);
    QWidget* top = data->widget->window();
    if (top->isMinimized()) {
      top->showNormal();
    } else {
      top->show();
    }
    top->raise();
    return ActivateFromOutside(top, activationToken);
  }

  void OnPaint(Window* window) override {
    QtWindowData* data = DataOf(window);
    if (data != nullptr && data->widget != nullptr) {
      data->widget->update();
    }
  }

  void Wait() override { pump_->Wait(); }
  void Wake() override { pump_->Wake(); }
  bool WatchFd(int fd, std::function<void()> onReadable) override {
    return pump_->WatchFd(fd, std::move(onReadable));
  }
  void UnwatchFd(int fd) override { pump_->UnwatchFd(fd); }
  std::u16string TranslatedText(const std::u16string& text) override {
    return ShownText(text).toStdU16String();
  }

 private:
  // Activation that another process (a later start) asked for. An X11 window manager raises a window on
  // request. A Wayland compositor raises one only for a token of its own making, handed over by the process
  // it started with it; Qt hands the compositor the token it finds in XDG_ACTIVATION_TOKEN when a window asks
  // to be activated.
  static FrontResult ActivateFromOutside(QWidget* top, const std::string& activationToken) {
    if (!QGuiApplication::platformName().startsWith(QStringLiteral("wayland"))) {
      top->activateWindow();
      return FrontResult::Raised;
    }
    if (activationToken.empty() || !CompositorOffersActivation()) {
      top->activateWindow();
      return FrontResult::NotRaised;
    }
    qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(activationToken));
    top->activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN");  // taken by now where the compositor has activation; never reused
    return FrontResult::Raised;
  }

  QtBackendContext context_;
  std::unique_ptr<QtEventPump> pump_;
};

}  // namespace

std::unique_ptr<UiBackend> CreateQtUiBackend(std::string* whyNot) {
  if (QCoreApplication::instance() == nullptr) {
    const std::string platform = ChooseQtPlatform(whyNot);
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
    // The desktop entry's name: a Wayland desktop finds the window's entry (its name and icon in the task
    // switcher) by the app id Qt gives it from this.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.strokerelayd.strokerelayd"));
    application->installEventFilter(new CaretBlinkLimiter(application));
    application->installEventFilter(new InputLagLimit(application));
  }
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return nullptr;  // an application object without widgets
  }
  InstallDialogFontSubstitutions();
  InstallInterfaceTranslation();
  QApplication::setQuitOnLastWindowClosed(false);
  return std::make_unique<QtUiBackend>();
}

void SetCompositorActivationProbe(bool (*probe)()) {
  g_activationProbe = probe;
}

QWidget* QtWidgetOf(const Window* window) {
  QtWindowData* data = DataOf(window);
  return data != nullptr ? data->widget : nullptr;
}

}  // namespace srd
