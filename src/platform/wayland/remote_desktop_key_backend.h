#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/keys/translating_key_backend.h"

struct DBusConnection;

namespace srd {

// Types through mutter's remote desktop interface on the session bus (GNOME): one session made and started
// at start-up and kept, each key one call that names the Linux key code, which mutter types with its own
// keymap, as from a keyboard of the seat. No dialog: the session bus is the user's own. Nothing waits on
// mutter per key: the calls go out once per datagram, unanswered; what mutter says is read when it is there.
class RemoteDesktopKeyBackend final : public TranslatingKeyBackend {
 public:
  // Connects to the session bus at `busAddress` and starts a session, each step within about a second;
  // nullptr with *whyNot set when the bus does not answer or mutter's remote desktop is not on it.
  static std::unique_ptr<RemoteDesktopKeyBackend> Create(const std::string& busAddress, std::string* whyNot);
  // Releases every held key, then stops the session.
  ~RemoteDesktopKeyBackend() override;
  RemoteDesktopKeyBackend(const RemoteDesktopKeyBackend&) = delete;
  RemoteDesktopKeyBackend& operator=(const RemoteDesktopKeyBackend&) = delete;

  const char* Name() const override { return "remote-desktop"; }
  void Flush() override;

 protected:
  bool EmitKey(std::uint16_t code, bool down) override;

 private:
  explicit RemoteDesktopKeyBackend(std::string busAddress) : busAddress_(std::move(busAddress)) {}
  // The bus connection and a started session, within limitMs; false with *whyNot set.
  bool Open(int limitMs, std::string* whyNot);
  void StopSession();
  void Close();
  // Takes what mutter and the bus sent: a session mutter closed, or a mutter that went, means the session is
  // gone.
  void TakeIncoming();

  const std::string busAddress_;
  DBusConnection* connection_ = nullptr;
  std::string session_;  // the session's object path; empty: none
  bool lost_ = false;    // mutter ended the session, or the bus went away
  bool ending_ = false;  // shutting down: keys are released, no new session is made
  std::chrono::steady_clock::time_point lastOpen_;
};

}  // namespace srd
