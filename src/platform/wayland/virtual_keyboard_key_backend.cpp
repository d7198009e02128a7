#include "platform/wayland/virtual_keyboard_key_backend.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/layout/system_layout.h"
#include "platform/wayland/keymap_groups.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace srd {

namespace {

// The compositor answers at once when it answers at all; neither start-up nor a key waits longer on it.
constexpr int kConnectLimitMs = 1000;
// After the compositor went away, a key tries to reach it again no sooner than this.
constexpr auto kReconnectInterval = std::chrono::seconds(1);

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

// Dispatches the compositor's events until *done or the deadline; false when the time is over or the
// connection failed.
bool DispatchUntil(wl_display* display, const bool* done, Clock::time_point deadline) {
  while (!*done) {
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) {
        return false;
      }
    }
    if (*done) {
      wl_display_cancel_read(display);
      break;
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(display);
      return false;
    }
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    const int ready = poll(&fd, 1, MsLeft(deadline));
    if (ready < 0 && errno == EINTR) {
      wl_display_cancel_read(display);
      continue;
    }
    if (ready <= 0 || (fd.revents & POLLIN) == 0) {
      wl_display_cancel_read(display);
      return false;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
      return false;
    }
  }
  return true;
}

// Waits for the compositor to have handled every request sent so far.
bool Sync(wl_display* display, Clock::time_point deadline) {
  bool done = false;
  static const wl_callback_listener listener = {[](void* data, wl_callback* callback, std::uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
  }};
  wl_callback* callback = wl_display_sync(display);
  wl_callback_add_listener(callback, &listener, &done);
  if (DispatchUntil(display, &done, deadline)) {
    return true;
  }
  if (!done) {
    wl_callback_destroy(callback);
  }
  return false;
}

// The keymap of the system's keyboard configuration, as text: for a compositor that has no keymap to give
// (the virtual keyboard is then the seat's keyboard in use, and its keymap the seat's, until the user types
// on another).
std::string SystemKeymapText() {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (context == nullptr) {
    return {};
  }
  const LayoutName name = SystemLayoutName();
  const xkb_rule_names names = {"evdev", "pc105", name.layout.c_str(), name.variant.c_str(), nullptr};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  std::string text;
  if (keymap != nullptr) {
    if (char* string = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1)) {
      text = string;
      std::free(string);
    }
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
  return text;
}

}  // namespace

VirtualKeyboardKeyBackend::Keymap::~Keymap() {
  xkb_keymap_unref(compiled);
}

VirtualKeyboardKeyBackend::VirtualKeyboardKeyBackend(std::string displayName)
    : displayName_(std::move(displayName)), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

std::unique_ptr<VirtualKeyboardKeyBackend> VirtualKeyboardKeyBackend::Create(const std::string& displayName,
                                                                             std::string* whyNot) {
  std::unique_ptr<VirtualKeyboardKeyBackend> backend(new VirtualKeyboardKeyBackend(displayName));
  if (backend->context_ == nullptr) {
    *whyNot = "XKB has no context";
    return nullptr;
  }
  VirtualKeyboardKeyBackend* self = backend.get();
  // The compositor's keymap, as it gives every keyboard client: reported before Start returns when the seat
  // has a keyboard in use, else once one comes.
  std::string keymapWhyNot;
  auto source = CompositorKeymap::Start(
      displayName, [self](const std::string& text) { self->OnKeymap(text); }, kConnectLimitMs, &keymapWhyNot);
  if (source == nullptr) {
    *whyNot = keymapWhyNot;
    return nullptr;
  }
  if (!self->keymapPending_.load()) {
    // A seat with no keyboard, or none in use (the last one typed on went away): until the user types, the
    // compositor has no keymap to give.
    self->OnKeymap(SystemKeymapText());
    if (!self->keymapPending_.load()) {
      *whyNot = "XKB cannot compile the system's keyboard configuration";
      return nullptr;
    }
  }
  if (!self->Connect(kConnectLimitMs, whyNot)) {
    return nullptr;
  }
  self->keymapSource_ = std::move(source);
  return backend;
}

VirtualKeyboardKeyBackend::~VirtualKeyboardKeyBackend() {
  keymapSource_.reset();
  ending_ = true;
  ReleaseAll();
  Disconnect();
  keymap_.reset();
  xkb_context_unref(context_);
}

bool VirtualKeyboardKeyBackend::Connect(int limitMs, std::string* whyNot) {
  lastConnect_ = Clock::now();
  const auto deadline = lastConnect_ + std::chrono::milliseconds(limitMs);
  display_ = wl_display_connect(displayName_.c_str());
  if (display_ == nullptr) {
    *whyNot = "no Wayland compositor answers at " + displayName_;
    return false;
  }
  static const wl_registry_listener registryListener = {&OnGlobal, &OnGlobalRemove};
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &registryListener, this);
  if (!Sync(display_, deadline)) {
    *whyNot = "the compositor did not answer";
    Disconnect();
    return false;
  }
  if (manager_ == nullptr || seat_ == nullptr) {
    *whyNot =
        manager_ == nullptr ? "the compositor offers no virtual keyboard" : "the compositor offers no seat";
    Disconnect();
    return false;
  }
  keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
  if (keymapPending_.load()) {
    UploadPendingKeymap();
  } else if (keymap_ != nullptr) {
    UploadKeymap();  // the keymap in use goes up again on the new keyboard
  }
  SendModifiers();
  // Once the compositor has handled these, the keyboard is there: the first key typed arrives.
  if (!Sync(display_, deadline) || Broken()) {
    *whyNot = "the compositor refused the virtual keyboard";
    Disconnect();
    return false;
  }
  return true;
}

void VirtualKeyboardKeyBackend::Disconnect() {
  if (display_ == nullptr) {
    return;
  }
  if (keyboard_ != nullptr) {
    zwp_virtual_keyboard_v1_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  if (manager_ != nullptr) {
    zwp_virtual_keyboard_manager_v1_destroy(manager_);
    manager_ = nullptr;
  }
  if (seat_ != nullptr) {
    wl_seat_destroy(seat_);
    seat_ = nullptr;
  }
  if (registry_ != nullptr) {
    wl_registry_destroy(registry_);
    registry_ = nullptr;
  }
  wl_display_flush(display_);
  wl_display_disconnect(display_);
  display_ = nullptr;
  broken_ = false;
}

void VirtualKeyboardKeyBackend::OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                                         const char* interface, std::uint32_t) {
  auto* self = static_cast<VirtualKeyboardKeyBackend*>(data);
  if (self->seat_ == nullptr && std::strcmp(interface, wl_seat_interface.name) == 0) {
    self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (self->manager_ == nullptr &&
             std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    self->manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
  }
}

void VirtualKeyboardKeyBackend::OnKeymap(const std::string& text) {
  // Compiled under the lock: the keymap's thread and start-up may both bring one, and XKB's context is not
  // to be used from two threads at once. The worker takes the lock only to pick a new keymap up.
  std::lock_guard lock(keymapMutex_);
  if (text.empty() || text == knownText_) {
    return;  // the compositor gives back the keymap uploaded here whenever this keyboard types
  }
  auto keymap = std::make_unique<Keymap>();
  keymap->compiled = xkb_keymap_new_from_string(context_, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap->compiled == nullptr) {
    return;
  }
  keymap->text = text;
  for (const KeymapGroup& group : KeymapGroups(text)) {
    keymap->groups.push_back(group.name);
  }
  knownText_ = text;
  pendingKeymap_ = std::move(keymap);
  keymapPending_ = true;
}

void VirtualKeyboardKeyBackend::UploadPendingKeymap() {
  if (!keymapPending_.exchange(false)) {
    return;
  }
  {
    std::lock_guard lock(keymapMutex_);
    if (pendingKeymap_ == nullptr) {
      return;
    }
    keymap_ = std::move(pendingKeymap_);
  }
  UploadKeymap();
}

void VirtualKeyboardKeyBackend::UploadKeymap() {
  if (state_ != nullptr) {
    xkb_state_unref(state_);
  }
  state_ = xkb_state_new(keymap_->compiled);
  groupFor_ = nullptr;
  modifiersSent_ = false;
  if (keyboard_ == nullptr) {
    return;
  }
  // The compositor maps the keymap from a file of its own; the text's closing NUL is part of its size.
  const int fd = memfd_create("strokerelayd-keymap", MFD_CLOEXEC);
  const std::size_t size = keymap_->text.size() + 1;
  if (fd < 0 || write(fd, keymap_->text.c_str(), size) != static_cast<ssize_t>(size)) {
    broken_ = true;
  } else {
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<std::uint32_t>(size));
  }
  if (fd >= 0) {
    close(fd);  // the request carries a copy
  }
}

unsigned VirtualKeyboardKeyBackend::GroupInUse() {
  const KeyboardLayout* layout = &Layout();
  if (layout != groupFor_ && keymap_ != nullptr) {
    groupFor_ = layout;
    const LayoutName& name = layout->Name();
    const auto same = std::find_if(keymap_->groups.begin(), keymap_->groups.end(), [&](const LayoutName& g) {
      return g.layout == name.layout && g.variant == name.variant;
    });
    group_ = same != keymap_->groups.end() ? static_cast<unsigned>(same - keymap_->groups.begin()) : 0;
  }
  return group_;
}

void VirtualKeyboardKeyBackend::SendModifiers() {
  if (keyboard_ == nullptr || state_ == nullptr) {
    return;
  }
  const std::uint32_t now[4] = {xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                                xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                                xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED), GroupInUse()};
  if (modifiersSent_ && std::equal(now, now + 4, sent_)) {
    return;
  }
  zwp_virtual_keyboard_v1_modifiers(keyboard_, now[0], now[1], now[2], now[3]);
  std::copy(now, now + 4, sent_);
  modifiersSent_ = true;
}

bool VirtualKeyboardKeyBackend::Broken() const {
  return broken_ || (display_ != nullptr && wl_display_get_error(display_) != 0);
}

bool VirtualKeyboardKeyBackend::EmitKey(std::uint16_t code, bool down) {
  if (Broken()) {
    // The compositor went away, and every key this keyboard held with it.
    Disconnect();
    ForgetHeldKeysLocked();
  }
  if (display_ == nullptr) {
    std::string ignored;
    if (ending_ || Clock::now() - lastConnect_ < kReconnectInterval || !Connect(kConnectLimitMs, &ignored)) {
      return false;
    }
  }
  UploadPendingKeymap();
  SendModifiers();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
  zwp_virtual_keyboard_v1_key(keyboard_, static_cast<std::uint32_t>(ms.count()), code,
                              down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  // XKB's key codes are the kernel's plus 8.
  if (state_ != nullptr) {
    // Which modifier a key sets depends on the layout (right Alt is Alt in one, AltGr in the next).
    const unsigned group = GroupInUse();
    if (xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE) != group) {
      xkb_state_update_mask(state_, xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                            xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                            xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED), 0, 0, group);
    }
    xkb_state_update_key(state_, code + 8u, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  }
  SendModifiers();
  return !Broken();
}

void VirtualKeyboardKeyBackend::Flush() {
  if (display_ == nullptr) {
    return;
  }
  // Writes the datagram's keys, waiting while the compositor takes them, as a keyboard's events wait for it
  // to read them, but no longer than a compositor that answers at all needs: one that does not read for that
  // long has stopped, and the connection counts as lost.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectLimitMs);
  while (!broken_ && wl_display_flush(display_) < 0) {
    pollfd fd = {wl_display_get_fd(display_), POLLOUT, 0};
    if (errno != EAGAIN || poll(&fd, 1, MsLeft(deadline)) <= 0) {
      broken_ = true;
    }
  }
  // What the compositor sends back (object removals, an error) is read without waiting, so that a
  // compositor that went away is noticed.
  if (wl_display_prepare_read(display_) == 0) {
    pollfd fd = {wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&fd, 1, 0) > 0) {
      if ((fd.revents & POLLIN) != 0 ? wl_display_read_events(display_) < 0
                                     : (wl_display_cancel_read(display_), true)) {
        broken_ = true;
      }
    } else {
      wl_display_cancel_read(display_);
    }
  }
  wl_display_dispatch_pending(display_);
  // The next datagram states the modifiers and the layout again, whatever the compositor did meanwhile.
  modifiersSent_ = false;
}

}  // namespace srd
