#pragma once

namespace srd {

// True when a connection to the X server named by DISPLAY can be opened right now. Kept apart from the Qt
// code because Xlib's macros clash with Qt's headers.
bool XDisplayAnswers();

}  // namespace srd
