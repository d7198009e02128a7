#pragma once

#include <cstdint>

// Socket error codes in the Windows Sockets 2 numbering, the calling thread's last socket error, and the one
// diagnostic line that names a failed socket step.

namespace srd {

// The Windows Sockets 2 code of the same condition as a Linux errno value; 0 stays 0 and a value without a
// counterpart becomes WSASYSCALLFAILURE (10107).
std::int32_t SocketErrorFromErrno(int errnoValue);
// The same for the host look-up: getaddrinfo's EAI_* codes and the resolver's h_errno codes.
std::int32_t SocketErrorFromAddrInfo(int eaiCode);
std::int32_t SocketErrorFromHostError(int hErrno);

// The calling thread's last socket error code, as set by the socket layer after a failed call.
std::int32_t LastSocketError();
void SetLastSocketError(std::int32_t code);
// Records errno (as read now) as the calling thread's last socket error.
void SetLastSocketErrorFromErrno();

// The standard symbolic name of a code in the program's table, or "" for every other code.
const char* SocketErrorName(std::int32_t code);

// Writes "skIO:ERROR <label> (<name>/<hex>/<decimal>)" for the calling thread's last socket error.
void ReportSocketError(const char* label);

}  // namespace srd
