#include "net/datagram_endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "diag/log.h"
#include "net/socket_error.h"

namespace srd {

namespace {

static_assert(sizeof(sockaddr_in) == SOCKET_ADDRESS_SIZE);

// Windows Sockets 2 codes the endpoint sets itself, where Linux has no failing call to take them from.
constexpr std::int32_t kWsaEFault = 10014;
constexpr std::int32_t kWsaEInval = 10022;
constexpr std::int32_t kWsaENotSock = 10038;
constexpr std::int32_t kWsaEMsgSize = 10040;

std::atomic<std::int32_t> g_socketsStarts{0};

// Writes the step's line for the thread's last socket error while reporting is on.
void ReportWhileOn(const char* label) {
  if (SocketErrorReporting.load(std::memory_order_relaxed) != 0) {
    ReportSocketError(label);
  }
}

// Records code as the thread's last socket error and reports the step.
void FailWith(std::int32_t code, const char* label) {
  SetLastSocketError(code);
  ReportWhileOn(label);
}

// The same for a call that failed with errno; called right after that call, before anything can change errno.
void FailFromErrno(const char* label) {
  SetLastSocketErrorFromErrno();
  ReportWhileOn(label);
}

// Looks host up as an IPv4 name. Returns true with the address in network order; on failure the thread's last
// socket error holds the resolver's answer.
bool LookUpHost(const char* host, in_addr_t& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host, nullptr, &hints, &found);
  if (rc != 0) {
    SetLastSocketError(SocketErrorFromAddrInfo(rc));
    return false;
  }
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
        entry->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in first;
      std::memcpy(&first, entry->ai_addr, sizeof first);
      out = first.sin_addr.s_addr;
      ::freeaddrinfo(found);
      return true;
    }
  }
  ::freeaddrinfo(found);
  SetLastSocketError(SocketErrorFromHostError(NO_DATA));
  return false;
}

}  // namespace

void SocketsStartup() {
  g_socketsStarts.fetch_add(1, std::memory_order_acq_rel);
}

void SocketsCleanup() {
  std::int32_t count = g_socketsStarts.load(std::memory_order_acquire);
  while (count > 0 && !g_socketsStarts.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
  }
}

std::int32_t SocketsStartCount() {
  return g_socketsStarts.load(std::memory_order_acquire);
}

int BuildAddress(SocketAddress& address, const char* host, std::int32_t port) {
  in_addr_t ip = htonl(INADDR_ANY);
  if (host != nullptr) {
    // Dotted text converts without a look-up; everything else, the no-address text 255.255.255.255
    // included, is looked up as a name.
    ip = ::inet_addr(host);
    if (ip == INADDR_NONE && !LookUpHost(host, ip)) {
      ReportWhileOn("gethostbyname");
      return -1;
    }
  }
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(static_cast<std::uint16_t>(port & 0xFFFF));
  result.sin_addr.s_addr = ip;
  std::memcpy(address.bytes, &result, sizeof result);
  return 1;
}

WaitTimeLimit SplitWaitTime(std::int32_t timeoutMs) {
  return {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
}

DatagramEndpoint::~DatagramEndpoint() {
  Close();
}

int DatagramEndpoint::Open(const char* host, std::int32_t port) {
  // Callers close first; an endpoint still open here would otherwise lose its socket for good.
  Close();

  handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (handle == -1) {
    FailFromErrno("open");
    return -1;
  }

  SocketAddress address;
  if (BuildAddress(address, host, port) == -1) {
    Close();  // BuildAddress has written the look-up's line
    return -1;
  }

  sockaddr_in bound;
  std::memcpy(&bound, address.bytes, sizeof bound);
  if (::bind(handle, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) == -1) {
    FailFromErrno("bind");  // before the close, so the line carries bind's error
    Close();
    return -1;
  }
  return 1;
}

int DatagramEndpoint::Wait(std::int32_t mode, std::int32_t timeoutMs) {
  if (handle == -1) {
    // There is no socket to wait on; fail as a wait on an invalid handle does.
    FailWith(kWsaENotSock, "select");
    return -1;
  }
  const WaitTimeLimit limit = SplitWaitTime(timeoutMs);
  if (limit.seconds < 0 || limit.microseconds < 0) {
    FailWith(kWsaEInval, "select");
    return -1;
  }

  // poll rather than select: select cannot take descriptors at or above its fixed set size.
  pollfd entry{};
  entry.fd = handle;
  if ((mode & WAIT_READ) != 0) {
    entry.events = static_cast<short>(entry.events | POLLIN);
  }
  if ((mode & WAIT_WRITE) != 0) {
    entry.events = static_cast<short>(entry.events | POLLOUT);
  }
  const int n = ::poll(&entry, 1, limit.seconds * 1000 + limit.microseconds / 1000);
  if (n == -1) {
    FailFromErrno("select");
    return -1;
  }
  if (n == 0) {
    return 0;
  }
  if ((entry.revents & POLLNVAL) != 0) {
    FailWith(kWsaENotSock, "select");
    return -1;
  }

  // A pending error or hang-up counts as ready, as it does for a select set: the next call reports it.
  int result = 0;
  if ((mode & WAIT_WRITE) != 0 && (entry.revents & (POLLOUT | POLLERR)) != 0) {
    result |= WAIT_WRITE;
  }
  if ((mode & WAIT_READ) != 0 && (entry.revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    result |= WAIT_READ;
  }
  return result;
}

int DatagramEndpoint::Receive(void* area, std::int32_t length, SocketAddress* source) {
  if (length < 0) {
    FailWith(kWsaEFault, "recvfrom");
    return -1;
  }
  sockaddr_in sender{};
  socklen_t senderLength = sizeof sender;
  // MSG_TRUNC makes the call return the datagram's real length, so a cut datagram can be told apart.
  const ssize_t n =
      ::recvfrom(handle, area, static_cast<std::size_t>(length), static_cast<int>(receiveFlags) | MSG_TRUNC,
                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
  if (n == -1) {
    FailFromErrno("recvfrom");
    return -1;
  }
  if (n > length) {
    // The datagram did not fit and is gone; nothing of the area may be used.
    FailWith(kWsaEMsgSize, "recvfrom");
    return -1;
  }
  if (source != nullptr) {
    std::memcpy(source->bytes, &sender, sizeof sender);
  }
  return static_cast<int>(n);
}

int DatagramEndpoint::Close() {
  if (handle != -1) {
    ::close(handle);
    handle = -1;
  }
  return 1;
}

}  // namespace srd
