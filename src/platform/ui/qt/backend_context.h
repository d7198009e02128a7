#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <set>
#include <string>

#include "platform/ui/qt/dialog_font.h"
#include "platform/ui/window_layer.h"

// What the parts of the Qt backend share: the backend's context, the record kept per window, and small
// helpers.

namespace srd {

struct QtWindowData;

// The state of one Qt backend that its widgets, its factory and its event pump all look at.
struct QtBackendContext {
  // While the backend applies the layer's own changes to the widgets, the widgets' change events must not be
  // reported back as if the user had made them.
  int applying = 0;
  // Depth of calls into the layer made from inside Qt's event handling. A Wait reached from there (a handler
  // that runs a modal loop) must not delete objects that Qt code further up the stack may still use.
  int notifying = 0;
  // The records of the top-level windows (frames), and of every window the backend knows.
  std::set<QtWindowData*> topLevels;
  std::set<QtWindowData*> all;
};

// What the backend keeps for one window of the layer. The widgets' handlers reach the layer only through
// `window`, which is cleared the moment the layer destroys the window.
struct QtWindowData {
  Window* window = nullptr;
  QtBackendContext* context = nullptr;
  // The frame, dialog or control; menu bars: the frame's QMenuBar. Guarded: Qt deletes a pop-up dialog with
  // its owner's frame, which a stop request can destroy while the dialog still runs.
  QPointer<QWidget> widget;
  QPointer<QWidget> client;  // where child windows go: a frame's central widget, a dialog itself
  DialogBaseUnits base{7, 13};
  bool settingText = false;  // the program is setting an edit box's text: not a user edit
  bool focusGiven = false;   // a dialog's first control has had the initial focus
};

inline QtWindowData* DataOf(const Window* window) {
  return window != nullptr ? static_cast<QtWindowData*>(window->backendData) : nullptr;
}

inline QString ToQString(const std::u16string& text) {
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

}  // namespace srd
