#include "platform/x11/key_event_time.h"

#include <xcb/xproto.h>

namespace srd {

bool XKeyEventTime(const void* xcbEvent, std::uint32_t* time) {
  const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
  const std::uint8_t type = event->response_type & 0x7F;  // the top bit marks events sent by a client
  if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
    return false;
  }
  *time = static_cast<const xcb_key_press_event_t*>(xcbEvent)->time;
  return true;
}

}  // namespace srd
