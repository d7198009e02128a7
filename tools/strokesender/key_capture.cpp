#include "key_capture.h"

#include <algorithm>

#include "virtual_key_for_linux_key.h"

namespace srd::sender {
namespace {

void AppendCommand(std::string& text, char letter, std::uint8_t virtualKey) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (text.empty()) {
    text.push_back('?');
  }
  text.push_back(letter);
  text.push_back(kDigits[virtualKey >> 4]);
  text.push_back(kDigits[virtualKey & 0x0F]);
}

}  // namespace

std::string KeyCapture::Press(std::uint16_t linuxCode, bool /*autoRepeat*/) {
  const std::uint8_t virtualKey = CapturedVirtualKey(*layout_, linuxCode);
  if (virtualKey == 0) {
    return {};
  }
  // A repeat of a key held since before the capture saw it is the first the receiver hears of it: from now
  // on it is held there, auto-repeated or not.
  const bool known =
      std::any_of(held_.begin(), held_.end(), [&](const auto& key) { return key.first == linuxCode; });
  if (!known) {
    held_.emplace_back(linuxCode, virtualKey);
  }
  std::string datagram;
  AppendCommand(datagram, 'k', virtualKey);
  return datagram;
}

std::string KeyCapture::Release(std::uint16_t linuxCode, bool autoRepeat) {
  if (autoRepeat) {
    return {};
  }
  const auto it =
      std::find_if(held_.begin(), held_.end(), [&](const auto& key) { return key.first == linuxCode; });
  if (it == held_.end()) {
    return {};
  }
  const std::uint8_t virtualKey = it->second;
  held_.erase(it);
  std::string datagram;
  if (!CarriedByHeldKey(virtualKey)) {
    AppendCommand(datagram, 'u', virtualKey);
  }
  return datagram;
}

std::string KeyCapture::ReleaseAll() {
  std::string datagram;
  while (!held_.empty()) {
    const std::uint8_t virtualKey = held_.back().second;
    held_.pop_back();
    if (!CarriedByHeldKey(virtualKey)) {
      AppendCommand(datagram, 'u', virtualKey);
    }
  }
  return datagram;
}

bool KeyCapture::CarriedByHeldKey(std::uint8_t virtualKey) const {
  return std::any_of(held_.begin(), held_.end(), [&](const auto& key) { return key.second == virtualKey; });
}

}  // namespace srd::sender
