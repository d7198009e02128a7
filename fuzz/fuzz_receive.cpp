// The receive path with real sockets: each input is sent as one datagram over loopback to an open
// DatagramEndpoint, received into a 1024-byte area as the receive loop does, terminated and decoded. A
// datagram of at most 1024 bytes must arrive whole; a longer one must fail and be consumed; nothing may stay
// queued. One endpoint and one sending socket serve every input, so an input costs two system calls and a
// wait.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "checking_key_backend.h"
#include "net/datagram_endpoint.h"
#include "net/socket_error.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"

namespace {

constexpr std::int32_t kAreaSize = 1024;
constexpr std::int32_t kInterrupted = 10004;  // WSAEINTR

struct Link {
  srd::DatagramEndpoint endpoint;
  int sender = -1;
};

Link& TheLink() {
  static Link* link = [] {
    auto* made = new Link;
    // Port 0: the system picks a free one, which the sender then connects to.
    if (made->endpoint.Open("127.0.0.1", 0) != 1) {
      std::abort();
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(made->endpoint.handle, reinterpret_cast<sockaddr*>(&address), &length);
    made->sender = socket(AF_INET, SOCK_DGRAM, 0);
    if (made->sender < 0 || connect(made->sender, reinterpret_cast<sockaddr*>(&address), length) != 0) {
      std::abort();
    }
    return made;
  }();
  return *link;
}

// libFuzzer's own timer signal can interrupt a wait (the program itself blocks its handled signals on the
// worker, so its waits never are); an interrupted wait is simply made again.
int WaitReadable(srd::DatagramEndpoint& endpoint, std::int32_t timeoutMs) {
  int ready = 0;
  do {
    ready = endpoint.Wait(srd::WAIT_READ, timeoutMs);
  } while (ready == -1 && srd::LastSocketError() == kInterrupted);
  return ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1500) {
    return 0;  // an Ethernet frame's worth; the area's limit is what matters
  }
  static srd::fuzz::CheckingKeyBackend backend;
  srd::InstallKeyBackend(&backend);
  Link& link = TheLink();
  if (send(link.sender, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();  // loopback accepts every datagram of this size
  }
  if (WaitReadable(link.endpoint, 5000) != srd::WAIT_READ) {
    __builtin_trap();  // a sent datagram never became readable
  }
  // Exactly the area the receive loop has: 1024 bytes and the terminator.
  auto* area = static_cast<char*>(std::malloc(kAreaSize + 1));
  srd::SocketAddress source{};
  const int n = link.endpoint.Receive(area, kAreaSize, &source);
  if (size <= static_cast<std::size_t>(kAreaSize)) {
    if (n != static_cast<int>(size) || (size > 0 && std::memcmp(area, data, size) != 0)) {
      __builtin_trap();
    }
    // The sender is the loopback address, family 2 in host order.
    if (source.bytes[0] != 2 || source.bytes[1] != 0 || source.bytes[4] != 127) {
      __builtin_trap();
    }
    area[n] = '\0';
    backend.events = 0;
    srd::DecodeKeyCommands(area);
    if (backend.events > 4 * size) {
      __builtin_trap();
    }
  } else if (n != -1) {
    __builtin_trap();  // an oversized datagram must fail, never arrive cut
  }
  std::free(area);
  // Whatever happened, the datagram was consumed.
  if (WaitReadable(link.endpoint, 0) != 0) {
    __builtin_trap();
  }
  return 0;
}
