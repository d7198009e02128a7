#pragma once

struct _XDisplay;  // Xlib's Display, kept out of this header with its macros

namespace srd {

// Xlib's I/O error handler is process-wide and by default prints a line and exits. The connections of the
// key sinks are lost quietly instead: each one's own exit handler marks it lost, and the program goes on.
// Any other connection of the process (the toolkit's) keeps the handler it had.
void RegisterOwnDisplay(_XDisplay* display);
void UnregisterOwnDisplay(_XDisplay* display);

}  // namespace srd
