#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace srd {

// The Linux key codes a backend has pressed and not yet released, so that shutdown can release every one of
// them: an injected key that is never released stays down (XTest: auto-repeating) after the program is gone.
// Not thread-safe; the owning backend serialises access.
class HeldKeys {
 public:
  // Notes a delivered press. A second press of a held key keeps a single entry.
  void Press(std::uint16_t code);
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
  std::vector<std::uint16_t> held_;  // in press order; a handful at most
};

}  // namespace srd
