// Any bytes as what sway's IPC socket sends: messages are read from a real socket, each whole or not at
// all, never more than the payload bound allocated, and each payload's keyboards parsed without reading past
// it.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wayland/deadline.h"
#include "platform/wayland/sway_layout_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) {
    return 0;
  }
  // The bytes also as one payload, as an event or GET_INPUTS' reply brings it.
  srd::SwayKeyboards(std::string(reinterpret_cast<const char*>(data), size));
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    return 0;
  }
  int buffer = 1 << 18;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(fds[0], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) {
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  close(fds[0]);  // then the reader meets the end, never a wait
  std::uint32_t type = 0;
  std::string payload;
  const srd::Deadline deadline(1000);
  while (srd::ReceiveSwayMessage(fds[1], -1, &deadline, &type, &payload)) {
    if (payload.size() > srd::kSwayPayloadLimit) {
      __builtin_trap();
    }
    for (const srd::SwayKeyboard& keyboard : srd::SwayKeyboards(payload)) {
      if (keyboard.activeLayout > 0xFFFFFFFF) {
        __builtin_trap();
      }
    }
  }
  close(fds[1]);
  return 0;
}
