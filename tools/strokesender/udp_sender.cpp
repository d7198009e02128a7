#include "udp_sender.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "command_line.h"

namespace srd::sender {
namespace {

void Pause(int ms) {
  timespec rest{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace

UdpSender::~UdpSender() {
  if (socket_ >= 0) {
    close(socket_);
  }
}

bool UdpSender::Open(const std::string& host, std::uint16_t port, int delayMs, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    error = "cannot find host '" + host + "': " +
            (status == EAI_SYSTEM ? std::string(std::strerror(errno)) : std::string(gai_strerror(status)));
    return false;
  }
  std::memcpy(&address_, found->ai_addr, sizeof address_);
  freeaddrinfo(found);
  address_.sin_port = htons(port);

  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address_.sin_addr, text, sizeof text);
  target_ = std::string(text) + ":" + std::to_string(port);

  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) {
    error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    return false;
  }
  delayMs_ = delayMs;
  return true;
}

void UdpSender::SealWith(const seal::Key& key, int copies) {
  sealer_ = std::make_unique<seal::DatagramSealer>(key);
  copies_ = copies;
}

bool UdpSender::Send(std::string_view datagram, std::string& error) {
  if (sentBefore_ && delayMs_ > 0) {
    Pause(delayMs_);
  }
  sentBefore_ = true;
  if (!sealer_) {
    return SendOnce(datagram, error);
  }
  const std::string sealed = sealer_->Seal(datagram);
  for (int copy = 0; copy < copies_; ++copy) {
    if (copy > 0) {
      Pause(kRepeatGapMs);
    }
    if (!SendOnce(sealed, error)) {
      return false;
    }
  }
  return true;
}

bool UdpSender::SendOnce(std::string_view datagram, std::string& error) {
  for (;;) {
    const ssize_t sent = sendto(socket_, datagram.data(), datagram.size(), 0,
                                reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
    if (sent >= 0) {
      return true;
    }
    if (errno != EINTR) {
      error = "cannot send to " + target_ + ": " + std::strerror(errno);
      return false;
    }
  }
}

}  // namespace srd::sender
