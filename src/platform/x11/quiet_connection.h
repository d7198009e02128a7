#pragma once

struct _XDisplay;

namespace srd {

// Xlib's I/O error handler is process-wide and by default prints a line and exits. A connection registered
// here is lost quietly (its exit handler, set per connection, tells its owner); every other connection of the
// process keeps the handler it had. Register after opening, unregister before closing.
void RegisterQuietConnection(_XDisplay* display);
void UnregisterQuietConnection(_XDisplay* display);

}  // namespace srd
