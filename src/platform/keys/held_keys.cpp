#include "platform/keys/held_keys.h"

#include <algorithm>

namespace srd {

void HeldKeys::Press(std::uint16_t code, std::uint8_t virtualKey) {
  auto it = std::find_if(held_.begin(), held_.end(), [code](const Held& h) { return h.code == code; });
  if (it != held_.end()) {
    it->virtualKey = virtualKey;
    return;
  }
  held_.push_back({code, virtualKey});
}

std::uint16_t HeldKeys::PressedFor(std::uint8_t virtualKey) const {
  // The newest first: should two keys ever come from one code, its latest press is the one to undo.
  auto it = std::find_if(held_.rbegin(), held_.rend(),
                         [virtualKey](const Held& h) { return h.virtualKey == virtualKey; });
  return it != held_.rend() ? it->code : 0;
}

bool HeldKeys::Release(std::uint16_t code) {
  auto it = std::find_if(held_.begin(), held_.end(), [code](const Held& h) { return h.code == code; });
  if (it == held_.end()) {
    return false;
  }
  held_.erase(it);
  return true;
}

std::vector<std::uint16_t> HeldKeys::TakeAll() {
  std::vector<std::uint16_t> keys;
  keys.reserve(held_.size());
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) {
    keys.push_back(it->code);
  }
  held_.clear();
  return keys;
}

bool HeldKeys::IsHeld(std::uint16_t code) const {
  return std::any_of(held_.begin(), held_.end(), [code](const Held& h) { return h.code == code; });
}

}  // namespace srd
