#include "platform/keys/key_sink.h"

namespace srd {

void InstallKeyBackend(KeyBackend* backend) {
  detail::installedKeyBackend.store(backend, std::memory_order_release);
}

KeyBackend* InstalledKeyBackend() {
  return detail::installedKeyBackend.load(std::memory_order_acquire);
}

}  // namespace srd
