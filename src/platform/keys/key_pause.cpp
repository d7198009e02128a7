#include "platform/keys/key_pause.h"

#include <atomic>
#include <thread>

namespace srd {

namespace {
std::atomic<KeyPause*> installedKeyPause{nullptr};
}  // namespace

void InstallKeyPause(KeyPause* pause) {
  installedKeyPause.store(pause, std::memory_order_release);
}

bool PauseBetweenKeyEvents(std::chrono::nanoseconds duration) {
  if (KeyPause* pause = installedKeyPause.load(std::memory_order_acquire)) {
    return pause->Pause(duration);
  }
  if (duration.count() > 0) {
    std::this_thread::sleep_for(duration);
  }
  return true;
}

}  // namespace srd
