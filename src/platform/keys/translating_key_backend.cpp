#include "platform/keys/translating_key_backend.h"

#include "platform/keys/vk_table.h"  // IsImeToggleKey

namespace srd {

void TranslatingKeyBackend::Inject(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags,
                                   std::uintptr_t) {
  const std::uint16_t code = Layout().LinuxKeyCode(virtualKey);
  if (code == 0) {
    return;
  }
  const bool down = (flags & KEYEVENT_KEYUP) == 0;
  std::lock_guard lock(mutex_);
  if (IsImeToggleKey(virtualKey)) {
    if (down) {
      Emit(code, true);
      Emit(code, false);
    }
    return;
  }
  Emit(code, down);
}

void TranslatingKeyBackend::Emit(std::uint16_t code, bool down) {
  if (down) {
    // A repeated press of a held key is forwarded: applications see it as auto-repeat, and one release
    // still clears it.
    if (EmitKey(code, true)) {
      held_.Press(code);
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
}

std::size_t TranslatingKeyBackend::HeldCount() const {
  std::lock_guard lock(mutex_);
  return held_.Count();
}

}  // namespace srd
