#pragma once

#include <atomic>
#include <cstdint>

// The key injection service: one key event at a time into the machine's keyboard input.

namespace srd {

// Flags of a key event.
inline constexpr std::uint32_t KEYEVENT_PRESS = 0x0;
inline constexpr std::uint32_t KEYEVENT_KEYUP = 0x2;

// A way of injecting key events (uinput, XTest, recording, none). One is installed for the process.
class KeyBackend {
 public:
  virtual ~KeyBackend() = default;
  // One key event exactly as the decoder hands it over. Called on the worker thread only.
  virtual void Inject(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                      std::uintptr_t extraInfo) = 0;
  // Sends what Inject queued since the last call: called once after each datagram's key events, so that a
  // backend that talks to a desktop writes once per datagram, never waiting on the desktop. Worker only.
  virtual void Flush() {}
  // Releases every key this backend still holds down, and sends them. Called at shutdown, after the worker
  // has ended, and on the worker when the datagrams that would have released keys were lost.
  virtual void ReleaseAll() {}
  // A short name for diagnostics ("uinput", "xtest", "recording", "none").
  virtual const char* Name() const = 0;
};

// Installs the backend that KeySink feeds (nullptr: events are dropped). The caller keeps ownership and
// installs before the worker starts and uninstalls after it has ended.
void InstallKeyBackend(KeyBackend* backend);
KeyBackend* InstalledKeyBackend();

namespace detail {
// The installed backend. Defined here so that KeySink, called once per key event, inlines into the decoder.
inline std::atomic<KeyBackend*> installedKeyBackend{nullptr};
}  // namespace detail

// Queues one key event into the keyboard input: virtual-key code, scan code, flags (0 press, 2 release) and
// the extra-information word. Its result is not examined by any caller, so it has none.
inline void KeySink(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uintptr_t extraInfo) {
  if (KeyBackend* backend = detail::installedKeyBackend.load(std::memory_order_acquire)) {
    backend->Inject(virtualKey, scanCode, flags, extraInfo);
  }
}

// Sends the key events of one datagram, queued by KeySink, on their way.
inline void KeySinkFlush() {
  if (KeyBackend* backend = detail::installedKeyBackend.load(std::memory_order_acquire)) {
    backend->Flush();
  }
}

// Releases every key the installed backend holds down (ReleaseHeldKeys: on the worker thread).
inline void ReleaseHeldKeys() {
  if (KeyBackend* backend = detail::installedKeyBackend.load(std::memory_order_acquire)) {
    backend->ReleaseAll();
  }
}

}  // namespace srd
