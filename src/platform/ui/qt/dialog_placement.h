#pragma once

#include "platform/ui/qt/backend_context.h"

// Where a pop-up dialog that the handheld sized to its full screen goes on a desktop.

namespace srd {

// The dialog covers the window it belongs to: the same place and size (at least room for its controls), so
// that no edge of that window shows around it under a window manager. Its bottom row of push buttons moves to
// its foot, as a desktop dialog has them, so that the room the larger size adds lies above the buttons rather
// than below them. Nothing happens to a dialog that is not a window of its own or has no owner.
void CoverOwner(QtWindowData* data);

}  // namespace srd
