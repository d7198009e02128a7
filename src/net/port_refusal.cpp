#include "net/port_refusal.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/socket_error.h"

namespace srd {

namespace {

constexpr std::int32_t kWsaEAcces = 10013;
constexpr std::int32_t kWsaEMFile = 10024;
constexpr std::int32_t kWsaEAddrInUse = 10048;
constexpr std::int32_t kWsaEAddrNotAvail = 10049;
constexpr std::int32_t kWsaENetDown = 10050;
constexpr std::int32_t kWsaENoBufs = 10055;

}  // namespace

PortRefusal ClassifyPortRefusal(std::int32_t code, std::int32_t port) {
  switch (code) {
    case kWsaEAddrInUse:
      return PortRefusal::InUse;
    case kWsaEAcces:
      return port >= 0 && port < FIRST_UNPRIVILEGED_PORT ? PortRefusal::NeedsRoot : PortRefusal::NotPermitted;
    case kWsaEAddrNotAvail:
      return PortRefusal::NotAvailable;
    case kWsaEMFile:
    case kWsaENoBufs:
      return PortRefusal::NoRoom;
    case kWsaENetDown:
      return PortRefusal::NetworkDown;
    default:
      return PortRefusal::Other;
  }
}

const char* PortRefusalReason(PortRefusal refusal) {
  switch (refusal) {
    case PortRefusal::InUse:
      return "in use by another program";
    case PortRefusal::NeedsRoot:
      return "needs root below 1024";
    case PortRefusal::NotPermitted:
      return "not permitted";
    case PortRefusal::NotAvailable:
      return "not available on this machine";
    case PortRefusal::NoRoom:
      return "the system has no room for another socket";
    case PortRefusal::NetworkDown:
      return "the network is down";
    case PortRefusal::Other:
      break;
  }
  return "refused by the system";
}

std::int32_t TryPortBind(std::int32_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd == -1) {
    return SocketErrorFromErrno(errno);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  std::int32_t code = 0;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1) {
    code = SocketErrorFromErrno(errno);
  }
  ::close(fd);
  return code;
}

}  // namespace srd
