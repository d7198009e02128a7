#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/layout/keyboard_layout.h"

// The keys of the sender's own keyboard as the receiver is to see them: each press and each release becomes
// one datagram the moment it happens. The capture remembers which keys it has pressed at the receiver, so
// that it can let go of all of them when the sender stops listening to the keyboard (the window loses the
// focus or closes): a key left down there would auto-repeat for good.

namespace srd::sender {

class KeyCapture {
 public:
  // Keys carry the virtual-key codes that a Windows keyboard of `layout` (the sender's own) gives them.
  explicit KeyCapture(const KeyboardLayout& layout = UsKeyboardLayout()) : layout_(&layout) {}

  // The datagram for a press of the key with this Linux key code, or empty when the key has no virtual-key
  // code. An auto-repeated press is sent as one more press, as a held key repeats on the receiving machine.
  std::string Press(std::uint16_t linuxCode, bool autoRepeat);
  // The datagram for a release, or empty: the releases that come with auto-repeat are not real ones, and a
  // key pressed before the capture saw it (the Enter that started the sender) was never pressed at the
  // receiver. A virtual-key code that another held key also carries stays down until both are up.
  std::string Release(std::uint16_t linuxCode, bool autoRepeat);
  // One datagram releasing every key held at the receiver, the last pressed first; empty when none is.
  std::string ReleaseAll();

  bool Holding() const { return !held_.empty(); }
  // The layout of the presses from now on (the keyboard switched layouts); a held key is released with the
  // code it was pressed with.
  void UseLayout(const KeyboardLayout& layout) { layout_ = &layout; }

 private:
  bool CarriedByHeldKey(std::uint8_t virtualKey) const;

  const KeyboardLayout* layout_;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> held_;  // Linux key code and its code, in press order
};

}  // namespace srd::sender
