#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/keys/held_keys.h"
#include "platform/keys/key_sink.h"
#include "platform/layout/receiver_layout.h"

namespace srd {

// What the Linux backends share: virtual-key code -> Linux key code through the receiver's keyboard layout
// (US until one is given), the keys held down (a release and a repeat go to the key the press went to), IME
// toggles as taps, and the release of every held key at shutdown. A backend supplies only the delivery of one
// Linux key event, and calls ReleaseAll() from its own destructor, while it can still deliver.
class TranslatingKeyBackend : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
              std::uintptr_t extraInfo) final;
  void ReleaseAll() final;

  // The number of keys currently held down (for tests and diagnostics).
  std::size_t HeldCount() const;

  // The layout that decides which key each code stands for; before any key is injected.
  void FollowLayout(std::unique_ptr<ReceiverLayout> layout) { layout_ = std::move(layout); }
  const KeyboardLayout& Layout() const {
    return layout_ != nullptr ? layout_->Current() : UsKeyboardLayout();
  }

 protected:
  // Called under the backend's lock before each key event is translated: a backend that makes its
  // connection again does it here, so that the layout it brings back with it is the one the event is
  // translated with.
  virtual void PrepareForKey() {}
  // The layout being followed, for a backend that must follow its display anew; nullptr when none was given.
  ReceiverLayout* FollowedLayout() { return layout_.get(); }
  // Delivers one press (down) or release of a Linux key code; false when it could not be delivered.
  virtual bool EmitKey(std::uint16_t code, bool down) = 0;
  // Forgets the held keys without releasing them: for a backend whose keys vanished with its connection.
  // Only from within EmitKey, which always runs under the backend's lock.
  void ForgetHeldKeysLocked() { held_.Clear(); }

 private:
  void Emit(std::uint16_t code, std::uint8_t virtualKey, bool down);

  // Inject runs on the worker; ReleaseAll on the shell thread after the worker ends, and on the worker where
  // a paired sender's order shows datagrams lost for good.
  mutable std::mutex mutex_;
  HeldKeys held_;
  std::unique_ptr<ReceiverLayout> layout_;
};

}  // namespace srd
