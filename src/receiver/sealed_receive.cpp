#include "receiver/sealed_receive.h"

#include <netinet/in.h>

#include <atomic>
#include <cstring>
#include <string>

#include "diag/log.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"
#include "seal/paired_receiver.h"

namespace srd {
namespace {

std::atomic<seal::PairedReceiver*> g_paired{nullptr};

std::uint32_t SourceAddress(const SocketAddress& source) {
  sockaddr_in address{};
  std::memcpy(&address, source.bytes, sizeof address);
  return address.sin_addr.s_addr;
}

}  // namespace

void InstallPairedReceiver(seal::PairedReceiver* paired) {
  g_paired.store(paired, std::memory_order_release);
}

seal::PairedReceiver* InstalledPairedReceiver() {
  return g_paired.load(std::memory_order_acquire);
}

void SealedReceive::Take(const char* area, int n, const SocketAddress& source) {
  const auto now = seal::PairedReceiver::Clock::now();
  switch (paired_.Open(area, static_cast<std::size_t>(n), now)) {
    case seal::Opened::kTypeAfterGap:
      // The datagrams lost between may have pressed keys whose releases they carried too.
      ReleaseHeldKeys();
      [[fallthrough]];
    case seal::Opened::kType:
      DecodeKeyCommands(paired_.Text());
      break;
    case seal::Opened::kNothing:
      break;
    case seal::Opened::kRefused:
      refusals_.Count(SourceAddress(source), now);
      refusals_.Tell(now);
      break;
  }
}

void SealedReceive::Pass() {
  refusals_.Tell(RefusalReport::Clock::now());
  if (const std::string why = paired_.TakeStoreFailure(); !why.empty()) {
    LogReport(
        "strokerelayd: the senders' order cannot be stored (%s); after a restart a recorded datagram "
        "could be typed again",
        why.c_str());
  }
}

void SealedReceive::End() {
  if (const std::string why = paired_.StoreExact(); !why.empty()) {
    LogReport("strokerelayd: the senders' order cannot be stored (%s)", why.c_str());
  }
}

}  // namespace srd
