#include "receiver/refusal_report.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cinttypes>

#include "diag/log.h"

namespace srd {

void RefusalReport::Count(std::uint32_t address, Clock::time_point now) {
  Waiting* free = nullptr;
  for (Waiting& slot : waiting_) {
    if (slot.count != 0 && slot.address == address) {
      ++slot.count;
      return;
    }
    if (slot.count == 0 && free == nullptr) {
      free = &slot;
    }
  }
  if (free != nullptr) {
    *free = Waiting{address, 1, now};
  }
}

void RefusalReport::Tell(Clock::time_point now) {
  if (now < nextLine_) {
    return;
  }
  Waiting* oldest = nullptr;
  for (Waiting& slot : waiting_) {
    if (slot.count != 0 && (oldest == nullptr || slot.since < oldest->since)) {
      oldest = &slot;
    }
  }
  if (oldest == nullptr) {
    return;
  }
  in_addr address{};
  address.s_addr = oldest->address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  LogReport("strokerelayd: refused %" PRIu64 " datagrams from %s (not sealed with this receiver's key)",
            oldest->count, text);
  oldest->count = 0;
  nextLine_ = now + REFUSAL_LINE_INTERVAL;
}

}  // namespace srd
