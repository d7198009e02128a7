#include "platform/keys/translating_key_backend.h"

#include <linux/input-event-codes.h>

#include "platform/layout/vk_table.h"

namespace srd {

namespace {

// Modifiers and locks do not repeat: a held Shift sent again by the sender changes nothing, and a lock key
// typed again would flip its lock.
bool IsModifierOrLock(std::uint16_t code) {
  switch (code) {
    case KEY_LEFTCTRL:
    case KEY_RIGHTCTRL:
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
    case KEY_LEFTALT:
    case KEY_RIGHTALT:
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
    case KEY_CAPSLOCK:
    case KEY_NUMLOCK:
    case KEY_SCROLLLOCK:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TranslatingKeyBackend::Inject(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags,
                                   std::uintptr_t) {
  const bool down = (flags & KEYEVENT_KEYUP) == 0;
  std::lock_guard lock(mutex_);
  PrepareForKey();
  // A code whose press holds a key goes to that key, its release and its repeats alike, whatever the layout
  // has become since: translated afresh after a change, the release would let go of another key, or of none,
  // and the pressed one would stay down.
  std::uint16_t code = held_.PressedFor(virtualKey);
  if (code == 0) {
    code = Layout().LinuxKeyCode(virtualKey);
  }
  if (code == 0) {
    return;
  }
  if (IsImeToggleKey(virtualKey)) {
    if (down) {
      Emit(code, virtualKey, true);
      Emit(code, virtualKey, false);
    }
    return;
  }
  Emit(code, virtualKey, down);
}

void TranslatingKeyBackend::Emit(std::uint16_t code, std::uint8_t virtualKey, bool down) {
  if (down) {
    if (held_.IsHeld(code)) {
      // The sender repeats a key it holds by sending its press again; the machine itself never repeats an
      // injected key. Neither the X server nor the kernel makes a second key-down of a key that is down, so
      // the repeat is typed as the machine's own auto-repeat reaches applications: a release, then a press.
      // One release from the sender still ends it.
      if (IsModifierOrLock(code) || !EmitKey(code, false)) {
        return;
      }
      held_.Release(code);
    }
    if (EmitKey(code, true)) {
      held_.Press(code, virtualKey);
    }
    return;
  }
  if (held_.Release(code)) {
    EmitKey(code, false);
  }
}

void TranslatingKeyBackend::ReleaseAll() {
  std::lock_guard lock(mutex_);
  for (std::uint16_t code : held_.TakeAll()) {
    EmitKey(code, false);
  }
  Flush();
}

std::size_t TranslatingKeyBackend::HeldCount() const {
  std::lock_guard lock(mutex_);
  return held_.Count();
}

}  // namespace srd
