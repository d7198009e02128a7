#pragma once

#include <cstdint>

namespace srd {

// For an X event as a toolkit's native event filter sees it (an XCB event): true, with the server's time
// stamp in milliseconds, when it is a key press or release; false for any other event.
bool XKeyEventTime(const void* xcbEvent, std::uint32_t* time);

}  // namespace srd
