#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The machine's IPv4 addresses a sender can be pointed at, and a watch that tells when they change.

namespace srd {

// Orders addresses (host byte order) as a sender would try them: link-local (169.254/16) first, then the
// private ranges (10/8, 172.16/12, 192.168/16), then the rest, each group in the order given; loopback
// (127/8), unspecified and repeated addresses are left out.
std::vector<std::uint32_t> OrderSenderAddresses(const std::vector<std::uint32_t>& addresses);

// The IPv4 addresses of the interfaces that are up, ordered as above, in dotted form; empty when there are
// none or they cannot be read.
std::vector<std::string> LocalSenderAddresses();

// A route socket that hears of every IPv4 address added or removed. Without one (the system refused it),
// Changed never reports anything.
class AddressWatch {
 public:
  AddressWatch();
  AddressWatch(const AddressWatch&) = delete;
  AddressWatch& operator=(const AddressWatch&) = delete;
  ~AddressWatch();

  // Never waits: takes every notice that has arrived and returns true when there was at least one (or when
  // so many arrived that some were lost).
  bool Changed();
  bool Watching() const { return fd_ != -1; }

 private:
  int fd_ = -1;
};

}  // namespace srd
