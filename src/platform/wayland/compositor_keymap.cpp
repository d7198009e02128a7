#include "platform/wayland/compositor_keymap.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/wayland/stop_request.h"
#include "platform/wayland/unix_connect.h"

namespace srd {

namespace {

// Version 7 of the seat maps the keymap privately, as every version may.
constexpr unsigned kSeatVersion = 7;

void OnEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void OnLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void OnKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

// Real keymaps are tens of kilobytes; anything far beyond is no keymap.
constexpr std::uint64_t kKeymapLimit = 16 << 20;

// The socket libwayland would connect to for `displayName`; empty when there is none to name.
std::string SocketPath(const std::string& displayName) {
  if (!displayName.empty() && displayName[0] == '/') {
    return displayName;
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? std::string(runtime) + "/" + displayName : std::string();
}

// The compositor's connection, made within the deadline: a listener that never accepts holds no one up.
wl_display* Connect(const std::string& displayName, const Deadline& deadline) {
  if (const char* inherited = std::getenv("WAYLAND_SOCKET"); inherited != nullptr && *inherited != '\0') {
    return wl_display_connect(nullptr);  // a descriptor already connected, handed down by the compositor
  }
  const int fd = ConnectUnixSocket(SocketPath(displayName), deadline);
  if (fd < 0) {
    return nullptr;
  }
  return wl_display_connect_to_fd(fd);  // which closes the descriptor when it fails
}

}  // namespace

std::string ReadKeymapFile(int fd, std::uint64_t size, std::uint64_t limit) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || size > limit) {
    return {};
  }
  // What the file holds bounds the read as much as what the compositor says.
  const std::uint64_t held = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : size;
  std::string text(static_cast<std::size_t>(std::min(size, held)), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  text.resize(strnlen(text.data(), text.size()));  // up to the closing NUL
  return text;
}

std::unique_ptr<CompositorKeymap> CompositorKeymap::Start(const std::string& displayName, OnKeymap onKeymap,
                                                          int limitMs, std::string* whyNot) {
  const Deadline deadline(limitMs);
  wl_display* display = Connect(displayName, deadline);
  if (display == nullptr) {
    *whyNot = "no Wayland compositor answers at " + displayName;
    return nullptr;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::unique_ptr<CompositorKeymap> keymap(new CompositorKeymap(display, wakeFd));
  if (wakeFd < 0) {
    *whyNot = std::string("no eventfd: ") + std::strerror(errno);
    return nullptr;
  }
  keymap->onKeymap_ = std::move(onKeymap);
  static const wl_registry_listener registryListener = {&CompositorKeymap::OnGlobal,
                                                        &CompositorKeymap::OnGlobalRemove};
  keymap->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(keymap->registry_, &registryListener, keymap.get());
  // The sync's answer comes after every global the registry lists: no seat by then, none at all.
  static const wl_callback_listener syncListener = {&CompositorKeymap::OnGlobalsListed};
  wl_callback* sync = wl_display_sync(display);
  wl_callback_add_listener(sync, &syncListener, keymap.get());
  CompositorKeymap* self = keymap.get();
  struct StopFd {
    int fd = OpenStopRequestFd();
    ~StopFd() {
      if (fd >= 0) {
        close(fd);
      }
    }
  } stop;
  const bool listed =
      self->DispatchUntil([self] { return self->seatAnswered_ || (self->globalsListed_ && !self->seat_); },
                          deadline.LeftMs(), stop.fd);
  if (!listed && (wl_display_get_error(display) != 0 || StopRequested())) {
    *whyNot = "the compositor did not answer";
    return nullptr;
  }
  // Without a keyboard now, the thread takes the keymap of the one that comes. A compositor still busy past
  // the start's limit (adding strokerelayd's own keyboard to a seat that had none, say) answers the thread.
  if (!listed) {
    *whyNot = "the compositor has not answered yet";
  } else if (self->seat_ == nullptr) {
    *whyNot = "the compositor offers no seat";
  } else if (self->keyboard_ == nullptr) {
    *whyNot = "the compositor's seat has no keyboard";
  } else if (!self->DispatchUntil([self] { return self->fresh_; }, deadline.LeftMs(), stop.fd)) {
    *whyNot = "the compositor sent no keymap";
  } else {
    self->fresh_ = false;
    self->onKeymap_(self->keymap_);
  }
  self->thread_ = std::thread([self] { self->Run(); });
  return keymap;
}

CompositorKeymap::CompositorKeymap(wl_display* display, int wakeFd) : display_(display), wakeFd_(wakeFd) {}

CompositorKeymap::~CompositorKeymap() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // An eventfd write fails only when its counter is full, and then the thread is being woken anyway.
    }
    thread_.join();
  }
  if (keyboard_ != nullptr) {
    wl_keyboard_destroy(keyboard_);
  }
  if (seat_ != nullptr) {
    wl_seat_destroy(seat_);
  }
  if (registry_ != nullptr) {
    wl_registry_destroy(registry_);
  }
  wl_display_disconnect(display_);
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
}

bool CompositorKeymap::DispatchUntil(const std::function<bool()>& done, int limitMs, int stopFd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    while (wl_display_prepare_read(display_) != 0) {
      if (wl_display_dispatch_pending(display_) < 0) {
        return false;
      }
    }
    if (done()) {
      wl_display_cancel_read(display_);
      break;
    }
    wl_display_flush(display_);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd fds[3] = {{wl_display_get_fd(display_), POLLIN, 0}, {wakeFd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int timeout =
        limitMs < 0 ? -1 : static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
    const int ready = timeout != 0 ? poll(fds, 3, timeout) : 0;
    if (ready < 0 && errno == EINTR) {
      wl_display_cancel_read(display_);
      continue;
    }
    if (ready <= 0 || (fds[0].revents & POLLIN) == 0) {
      wl_display_cancel_read(display_);
      return false;  // the time is over, the thread is stopped, or the connection hung up
    }
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) {
      return false;
    }
  }
  return true;
}

void CompositorKeymap::Run() {
  // Ends when stopped or when the compositor goes away: the last keymap holds.
  while (DispatchUntil([this] { return fresh_; }, -1)) {
    fresh_ = false;
    onKeymap_(keymap_);
  }
}

void CompositorKeymap::OnGlobal(void* data, wl_registry* registry, unsigned name, const char* interface,
                                unsigned version) {
  auto* self = static_cast<CompositorKeymap*>(data);
  if (self->seat_ != nullptr || std::strcmp(interface, wl_seat_interface.name) != 0) {
    return;
  }
  static const wl_seat_listener seatListener = {&CompositorKeymap::OnCapabilities,
                                                &CompositorKeymap::OnSeatName};
  self->seatVersion_ = std::min(version, kSeatVersion);
  self->seat_ =
      static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, self->seatVersion_));
  wl_seat_add_listener(self->seat_, &seatListener, self);
}

void CompositorKeymap::OnGlobalsListed(void* data, wl_callback* callback, unsigned) {
  static_cast<CompositorKeymap*>(data)->globalsListed_ = true;
  wl_callback_destroy(callback);
}

void CompositorKeymap::OnCapabilities(void* data, wl_seat* seat, unsigned capabilities) {
  auto* self = static_cast<CompositorKeymap*>(data);
  self->seatAnswered_ = true;
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) == 0) {
    // The keyboard went (its last device unplugged): the last keymap holds, and the next keyboard brings its
    // own.
    if (self->keyboard_ != nullptr) {
      if (self->seatVersion_ >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
        wl_keyboard_release(self->keyboard_);
      } else {
        wl_keyboard_destroy(self->keyboard_);
      }
      self->keyboard_ = nullptr;
    }
    return;
  }
  if (self->keyboard_ != nullptr) {
    return;
  }
  static const wl_keyboard_listener keyboardListener = {
      &CompositorKeymap::OnKeymapEvent, &OnEnter, &OnLeave, &OnKey, &OnModifiers, &OnRepeatInfo};
  self->keyboard_ = wl_seat_get_keyboard(seat);
  wl_keyboard_add_listener(self->keyboard_, &keyboardListener, self);
}

void CompositorKeymap::OnKeymapEvent(void* data, wl_keyboard*, unsigned format, int fd, unsigned size) {
  auto* self = static_cast<CompositorKeymap*>(data);
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
    close(fd);
    return;
  }
  std::string text = ReadKeymapFile(fd, size, kKeymapLimit);
  close(fd);
  if (!text.empty()) {
    self->keymap_ = std::move(text);
    self->fresh_ = true;
  }
}

}  // namespace srd
