#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "platform/ui/qt/backend_context.h"
#include "platform/ui/ui_resources.h"

// Making the widgets that show the layer's windows, and laying them out from the layer's templates.

namespace srd {

// A top-level window's frame with its client area. Records it among the context's top-level windows.
void MakeFrame(QtWindowData* data);
// A dialog: a child widget in its parent's client area, or a pop-up window over its owner.
void MakeDialog(QtWindowData* data);
// A control in its dialog: a push button, an edit box, or a static text or icon.
void MakeControl(QtWindowData* data);

// The client area gets the program's size, and at least room for the child dialogs laid out on it.
void FitFrame(QtWindowData* data);

// One command (or separator) of a menu bar or pop-up menu; choosing it posts WM_COMMAND to `target`.
void AddMenuCommand(QWidget* menu, const MenuItem& item, Window* target);

// Gives the focus to the first visible, enabled control with a tab stop, as a dialog does when it opens.
void GiveInitialFocus(QtWindowData* data);

// A window's title bar text.
QString TitleOf(const Window* window);

}  // namespace srd
