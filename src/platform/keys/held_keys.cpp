#include "platform/keys/held_keys.h"

#include <algorithm>

namespace srd {

void HeldKeys::Press(std::uint16_t code) {
  if (!IsHeld(code)) {
    held_.push_back(code);
  }
}

bool HeldKeys::Release(std::uint16_t code) {
  auto it = std::find(held_.begin(), held_.end(), code);
  if (it == held_.end()) {
    return false;
  }
  held_.erase(it);
  return true;
}

std::vector<std::uint16_t> HeldKeys::TakeAll() {
  std::vector<std::uint16_t> keys(held_.rbegin(), held_.rend());
  held_.clear();
  return keys;
}

bool HeldKeys::IsHeld(std::uint16_t code) const {
  return std::find(held_.begin(), held_.end(), code) != held_.end();
}

}  // namespace srd
