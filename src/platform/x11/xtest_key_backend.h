#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/keys/translating_key_backend.h"
#include "platform/x11/device_repeat.h"
#include "platform/x11/xtest_keymap_mirror.h"

struct _XDisplay;  // Xlib's Display, kept out of this header with its macros

namespace srd {

struct XTestOptions {
  // The display to connect to; empty: $DISPLAY.
  std::string displayName;
  // Find X keycodes by keysym even on a server whose keymap follows the evdev rules.
  bool lookUpByKeysym = false;
  // The display belongs to a Wayland session: XWayland, whose XTest device is given the compositor's keymap.
  bool waylandSession = false;
  // After the connection is lost, how often a key event may try to connect again.
  std::chrono::milliseconds reconnectInterval{2000};
  // Where the backend records, while it is connected, what it changes on the display, so that the next start
  // can put it right after a kill: the directory of the single-instance lock, given only while this process
  // holds that lock. Empty: nothing is recorded or put right.
  std::string recordDirectory{};
};

// Injects keys into an X server through the XTEST extension, on a connection of its own. The connection is
// opened at start-up, used by the worker while it runs and by shutdown after it has ended: one thread at a
// time, under the backend's lock, never by the interface thread's toolkit. Keys pressed this way stay down in
// the server after the client is gone, so every held key is released at shutdown. A lost connection never
// ends the process: keys are dropped until a reconnect (tried at most once per reconnect interval) succeeds.
// While connected, the server does not auto-repeat the keys held through XTest; the setting is put back when
// the backend goes, or dropped with a server that went away. With a record directory, what a connection that
// ended without putting things back left on the same display (keys held, the repeat off) is put right when
// the next one is made. Under XWayland the XTest device carries the compositor's keymap meanwhile, so that X
// windows read the keys as the user's layout gives them.
class XTestKeyBackend final : public TranslatingKeyBackend {
 public:
  // Connects; nullptr with *whyNot set (a phrase such as "the X display :0 has no XTEST extension").
  static std::unique_ptr<XTestKeyBackend> Create(const XTestOptions& options, std::string* whyNot);
  ~XTestKeyBackend() override;

  XTestKeyBackend(const XTestKeyBackend&) = delete;
  XTestKeyBackend& operator=(const XTestKeyBackend&) = delete;

  const char* Name() const override { return "xtest"; }

  // The X keycode a Linux key code is injected as on the current connection; 0: the key is dropped.
  std::uint8_t XKeycodeFor(std::uint16_t linuxCode) const;

 protected:
  void PrepareForKey() override;
  bool EmitKey(std::uint16_t code, bool down) override;

 private:
  explicit XTestKeyBackend(const XTestOptions& options) : options_(options) {}
  bool Connect(std::string* whyNot);
  // Starts what follows the display besides the connection: the keymap mirror, and on a connection made
  // again (the server may have been replaced, with another layout) the layout watch.
  void FollowDisplay(bool again);
  void Disconnect();
  // Puts right what the record of an earlier connection to this display says, then records this one's.
  void PutRightAndRecord(_XDisplay* display, const std::string& label);
  static void OnConnectionLost(_XDisplay* display, void* self);

  XTestOptions options_;
  _XDisplay* display_ = nullptr;
  bool lost_ = false;  // set from within Xlib, on the thread making the call that found the connection gone
  std::chrono::steady_clock::time_point lastAttempt_{};
  XDeviceRepeat repeat_;
  std::unique_ptr<XTestKeymapMirror> keymapMirror_;
  std::array<std::uint8_t, 256> keycodes_{};  // by Linux key code; X keycodes stop at 255
};

}  // namespace srd
