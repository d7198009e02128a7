#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace srd {

// The Linux key codes a backend has pressed and not yet released, each with the virtual-key code whose press
// it came from, so that a release goes to the key its press went to (whatever the layout has become since)
// and shutdown can release every one of them: an injected key that is never released stays down (XTest:
// auto-repeating) after the program is gone. Not thread-safe; the owning backend serialises access.
class HeldKeys {
 public:
  // Notes a delivered press of `code` made for `virtualKey`. A second press of a held key keeps a single
  // entry, which then belongs to the latest press's code.
  void Press(std::uint16_t code, std::uint8_t virtualKey);
  // The key a press of `virtualKey` holds down; 0 when none does.
  std::uint16_t PressedFor(std::uint8_t virtualKey) const;
  // Notes a release; false when the key is not held, in which case the release must not be injected.
  bool Release(std::uint16_t code);
  // Every held key, most recently pressed first (modifiers pressed first are released last), and forgets
  // them.
  std::vector<std::uint16_t> TakeAll();
  // Forgets every held key without releasing it (the keys went away with the device or the connection).
  void Clear() { held_.clear(); }
  bool IsHeld(std::uint16_t code) const;
  std::size_t Count() const { return held_.size(); }

 private:
  struct Held {
    std::uint16_t code;
    std::uint8_t virtualKey;
  };
  std::vector<Held> held_;  // in press order; a handful at most (one entry per code)
};

}  // namespace srd
