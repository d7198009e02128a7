#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/keys/translating_key_backend.h"
#include "platform/wayland/compositor_keymap.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace srd {

// Types through the virtual keyboard a wlroots compositor (sway and its kin) offers every client: no root,
// no device file. The keyboard carries the compositor's own keymap, uploaded at start and again whenever the
// compositor's keymap changes, so each key means what it means on the user's keyboard; the layout in use is
// the keymap's group, sent with the modifier state, which the compositor takes from the client rather than
// working it out from the keys.
class VirtualKeyboardKeyBackend final : public TranslatingKeyBackend {
 public:
  // Connects to the compositor `displayName` and makes the keyboard, ready to type before it returns (a
  // keyboard that appears just before its first key loses that key). nullptr with *whyNot set when the
  // compositor does not answer within about a second or offers no virtual keyboard.
  static std::unique_ptr<VirtualKeyboardKeyBackend> Create(const std::string& displayName,
                                                           std::string* whyNot);
  // Releases every held key, then removes the keyboard.
  ~VirtualKeyboardKeyBackend() override;
  VirtualKeyboardKeyBackend(const VirtualKeyboardKeyBackend&) = delete;
  VirtualKeyboardKeyBackend& operator=(const VirtualKeyboardKeyBackend&) = delete;

  const char* Name() const override { return "virtual-keyboard"; }
  void Flush() override;

 protected:
  bool EmitKey(std::uint16_t code, bool down) override;

 private:
  // A keymap as the compositor sent it, compiled for the modifier state, with the names of its groups.
  struct Keymap {
    std::string text;
    xkb_keymap* compiled = nullptr;
    std::vector<LayoutName> groups;
    ~Keymap();
  };

  explicit VirtualKeyboardKeyBackend(std::string displayName);
  // The connection, the keyboard and its keymap, within limitMs; false with *whyNot set.
  bool Connect(int limitMs, std::string* whyNot);
  void Disconnect();
  // Called on the keymap's thread: compiles it there, the worker uploads it at its next key.
  void OnKeymap(const std::string& text);
  void UploadPendingKeymap();
  // Sends keymap_ to the keyboard, whose keys and modifiers start from nothing on it.
  void UploadKeymap();
  // Sends the modifier state of keys typed and the group of the layout in use, when either changed.
  void SendModifiers();
  unsigned GroupInUse();
  bool Broken() const;

  static void OnGlobal(void* self, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
  static void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

  const std::string displayName_;
  xkb_context* context_ = nullptr;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
  std::chrono::steady_clock::time_point lastConnect_;
  bool broken_ = false;  // the connection failed
  bool ending_ = false;  // shutting down: keys are released, the compositor is not asked again

  std::mutex keymapMutex_;
  std::unique_ptr<Keymap> pendingKeymap_;  // under keymapMutex_
  std::string knownText_;                  // under keymapMutex_: the last keymap taken
  std::atomic<bool> keymapPending_{false};

  // The worker's: the keymap uploaded, the state of the keys typed on it, what was last sent.
  std::unique_ptr<Keymap> keymap_;
  xkb_state* state_ = nullptr;
  const KeyboardLayout* groupFor_ = nullptr;
  unsigned group_ = 0;
  bool modifiersSent_ = false;
  std::uint32_t sent_[4] = {};

  // Started last, stopped first: its thread calls OnKeymap.
  std::unique_ptr<CompositorKeymap> keymapSource_;
};

}  // namespace srd
