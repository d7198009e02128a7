#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <netinet/in.h>

#include "seal/datagram_sealer.h"

// Sends key command datagrams to one receiver over UDP/IPv4. The socket is not connected: a receiver that is
// not (yet) listening makes no difference to the sender, exactly as with a lost datagram.

namespace srd::sender {

class UdpSender {
 public:
  UdpSender() = default;
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;
  ~UdpSender();

  // Looks up host (IPv4 address or name) and opens the socket. False with a one-line message in error.
  bool Open(const std::string& host, std::uint16_t port, int delayMs, std::string& error);
  // From now on every datagram is sealed with key and sent `copies` times, kRepeatGapMs apart: all copies of
  // one go before the next datagram, so a later one never overtakes an earlier one's last copy.
  void SealWith(const seal::Key& key, int copies);
  // Sends one datagram, first pausing delayMs when a datagram went before. False with a message in error.
  bool Send(std::string_view datagram, std::string& error);

 private:
  int socket_ = -1;
  sockaddr_in address_{};
  std::string target_;
  int delayMs_ = 0;
  bool sentBefore_ = false;
  std::unique_ptr<seal::DatagramSealer> sealer_;
  int copies_ = 1;

  bool SendOnce(std::string_view datagram, std::string& error);
};

}  // namespace srd::sender
