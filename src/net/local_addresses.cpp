#include "net/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace srd {

namespace {

// Where an address sorts: lower ranks come first; -1 is left out.
int Rank(std::uint32_t address) {
  if ((address >> 24) == 127 || address == 0) {
    return -1;
  }
  if ((address & 0xFFFF0000u) == 0xA9FE0000u) {  // 169.254/16
    return 0;
  }
  if ((address & 0xFF000000u) == 0x0A000000u ||  // 10/8
      (address & 0xFFF00000u) == 0xAC100000u ||  // 172.16/12
      (address & 0xFFFF0000u) == 0xC0A80000u) {  // 192.168/16
    return 1;
  }
  return 2;
}

}  // namespace

std::vector<std::uint32_t> OrderSenderAddresses(const std::vector<std::uint32_t>& addresses) {
  std::vector<std::uint32_t> out;
  for (const std::uint32_t address : addresses) {
    if (Rank(address) >= 0 && std::find(out.begin(), out.end(), address) == out.end()) {
      out.push_back(address);
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](std::uint32_t a, std::uint32_t b) { return Rank(a) < Rank(b); });
  return out;
}

std::vector<std::string> LocalSenderAddresses() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return {};
  }
  std::vector<std::uint32_t> found;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
        (entry->ifa_flags & IFF_UP) == 0) {
      continue;
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    found.push_back(ntohl(address->sin_addr.s_addr));
  }
  ::freeifaddrs(list);

  std::vector<std::string> out;
  for (const std::uint32_t address : OrderSenderAddresses(found)) {
    in_addr network{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &network, text, sizeof text) != nullptr) {
      out.emplace_back(text);
    }
  }
  return out;
}

AddressWatch::AddressWatch() {
  fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd_ == -1) {
    return;
  }
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_IPV4_IFADDR;
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == -1) {
    ::close(fd_);
    fd_ = -1;
  }
}

AddressWatch::~AddressWatch() {
  if (fd_ != -1) {
    ::close(fd_);
  }
}

bool AddressWatch::Changed() {
  if (fd_ == -1) {
    return false;
  }
  bool changed = false;
  // The notices' contents do not matter (the addresses are read afresh), so one small area serves; a notice
  // longer than it is cut and still counts.
  char area[512];
  for (int taken = 0; taken < 64; ++taken) {
    const ssize_t n = ::recv(fd_, area, sizeof area, MSG_DONTWAIT | MSG_TRUNC);
    if (n >= 0) {
      changed = true;
      continue;
    }
    if (errno == ENOBUFS) {
      changed = true;  // more notices came than the socket could hold: something changed
      continue;
    }
    break;  // EAGAIN: nothing more for now
  }
  return changed;
}

}  // namespace srd
