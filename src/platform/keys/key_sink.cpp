#include "platform/keys/key_sink.h"

#include <atomic>

namespace srd {

namespace {
std::atomic<KeyBackend*> g_backend{nullptr};
}  // namespace

void InstallKeyBackend(KeyBackend* backend) { g_backend.store(backend, std::memory_order_release); }

KeyBackend* InstalledKeyBackend() { return g_backend.load(std::memory_order_acquire); }

void KeySink(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags, std::uintptr_t extraInfo) {
  if (KeyBackend* backend = g_backend.load(std::memory_order_acquire)) {
    backend->Inject(virtualKey, scanCode, flags, extraInfo);
  }
}

}  // namespace srd
