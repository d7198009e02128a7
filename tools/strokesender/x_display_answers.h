#pragma once

namespace srd::sender {

// True when the X server that DISPLAY names accepts a connection now. Apart from the Qt code, whose headers
// clash with Xlib's macros.
bool XDisplayAnswers();

}  // namespace srd::sender
