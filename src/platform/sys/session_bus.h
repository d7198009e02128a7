#pragma once

// The desktop's session bus, as the libraries the window and the layout sources load will look for it.

namespace srd {

// Where no session bus can be found (no DBUS_SESSION_BUS_ADDRESS, no bus socket in XDG_RUNTIME_DIR), the
// D-Bus libraries under the window toolkit would start one on demand on an X display ("autolaunch": a
// dbus-launch and a dbus-daemon that outlive the program). This names an address that no library can
// connect to instead, so they do without a bus. Call before any thread exists; returns true when it did so.
bool DoWithoutSessionBusWhereThereIsNone();

// The address set for that: a transport no library knows, so every connection fails at once.
inline constexpr char NO_SESSION_BUS_ADDRESS[] = "disabled:";

}  // namespace srd
