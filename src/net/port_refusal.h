#pragma once

#include <cstdint>

// Why a port could not be opened, in the words a user reads (the diagnostic line carries the code), and a
// quiet try of a port for the interface thread, which writes no diagnostic line.

namespace srd {

// Ports below this one are reserved to privileged programs unless the system lowers the limit.
inline constexpr std::int32_t FIRST_UNPRIVILEGED_PORT = 1024;

// Why an open of a UDP port failed, as a user can act on it.
enum class PortRefusal {
  InUse,         // another program holds the port
  NeedsRoot,     // a privileged port, and this program is not privileged
  NotPermitted,  // refused for another lack of permission
  NotAvailable,  // the address is not on this machine
  NoRoom,        // no descriptor or buffer left for another socket
  NetworkDown,
  Other,
};

// The refusal that the Windows Sockets 2 code `code` of a failed open of port stands for.
PortRefusal ClassifyPortRefusal(std::int32_t code, std::int32_t port);
// The refusal in words, e.g. "in use by another program" or "needs root below 1024"; never empty.
const char* PortRefusalReason(PortRefusal refusal);

// Binds a UDP socket to every local address on port and closes it again at once. 0 when the bind succeeded,
// otherwise the Windows Sockets 2 code of the failure. Writes no line and leaves the thread's last socket
// error as it was.
std::int32_t TryPortBind(std::int32_t port);

}  // namespace srd
