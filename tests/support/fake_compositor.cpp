#include "support/fake_compositor.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace srd::test {

namespace {

void Ignore(wl_client*, wl_resource*, std::uint32_t) {}
void Release(wl_client*, wl_resource* resource) {
  wl_resource_destroy(resource);
}

const struct wl_keyboard_interface kKeyboard = {&Release};

}  // namespace

FakeCompositor::FakeCompositor() : path_(dir_.Path() + "/wayland-fake") {
  display_ = wl_display_create();
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0 || wl_display_add_socket_fd(display_, listener) != 0) {
    std::abort();
  }
  wl_global_create(display_, &wl_seat_interface, 7, this, &FakeCompositor::BindSeat);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  wake_ = wl_event_loop_add_fd(
      wl_display_get_event_loop(display_), wakeFd_, WL_EVENT_READABLE,
      [](int fd, std::uint32_t, void* self) {
        std::uint64_t count = 0;
        if (read(fd, &count, sizeof count) < 0) {
          // Read only to clear it: a spurious wake changes nothing.
        }
        static_cast<FakeCompositor*>(self)->ApplyPending();
        return 0;
      },
      this);
  thread_ = std::thread([this] { wl_display_run(display_); });
}

FakeCompositor::~FakeCompositor() {
  Resume();
  {
    std::lock_guard lock(mutex_);
    pending_ = false;
    keymap_ = "\x01stop";  // read by ApplyPending on the compositor's thread
  }
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    std::abort();
  }
  thread_.join();
  wl_event_source_remove(wake_);
  wl_display_destroy_clients(display_);
  wl_display_destroy(display_);
  close(wakeFd_);
}

void FakeCompositor::AddKeyboard(const std::string& keymapText, std::uint32_t statedSize) {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
    pendingKeymap_ = keymapText;
    pendingSize_ = statedSize != 0 ? statedSize : static_cast<std::uint32_t>(keymapText.size() + 1);
  }
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    std::abort();
  }
}

void FakeCompositor::Stall() {
  std::unique_lock lock(mutex_);
  stallAsked_ = true;
  const std::uint64_t one = 1;
  if (write(wakeFd_, &one, sizeof one) < 0) {
    std::abort();
  }
  stallChanged_.wait(lock, [this] { return stalled_; });
}

void FakeCompositor::Resume() {
  std::lock_guard lock(mutex_);
  stallAsked_ = false;
  stallChanged_.notify_all();
}

void FakeCompositor::ApplyPending() {
  std::unique_lock lock(mutex_);
  if (stallAsked_) {
    stalled_ = true;
    stallChanged_.notify_all();
    stallChanged_.wait(lock, [this] { return !stallAsked_; });
    stalled_ = false;
  }
  if (keymap_ == "\x01stop") {
    wl_display_terminate(display_);
    return;
  }
  if (!pending_) {
    return;
  }
  pending_ = false;
  keyboard_ = true;
  keymap_ = pendingKeymap_;
  statedSize_ = pendingSize_;
  for (wl_resource* seat : seats_) {
    wl_seat_send_capabilities(seat, WL_SEAT_CAPABILITY_KEYBOARD);
  }
  wl_display_flush_clients(display_);
}

void FakeCompositor::BindSeat(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  auto* self = static_cast<FakeCompositor*>(data);
  static const struct wl_seat_interface seat = {&Ignore, &FakeCompositor::GetKeyboard, &Ignore, &Release};
  wl_resource* resource = wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
  wl_resource_set_implementation(resource, &seat, self, &FakeCompositor::Unbind);
  self->seats_.push_back(resource);
  wl_seat_send_capabilities(resource, self->keyboard_ ? WL_SEAT_CAPABILITY_KEYBOARD : 0);
}

void FakeCompositor::Unbind(wl_resource* resource) {
  auto* self = static_cast<FakeCompositor*>(wl_resource_get_user_data(resource));
  self->seats_.erase(std::remove(self->seats_.begin(), self->seats_.end(), resource), self->seats_.end());
}

void FakeCompositor::GetKeyboard(wl_client* client, wl_resource* seat, std::uint32_t id) {
  auto* self = static_cast<FakeCompositor*>(wl_resource_get_user_data(seat));
  wl_resource* keyboard =
      wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
  wl_resource_set_implementation(keyboard, &kKeyboard, self, nullptr);
  std::lock_guard lock(self->mutex_);  // the test's thread writes the keymap at the end
  self->SendKeymap(keyboard);
}

void FakeCompositor::SendKeymap(wl_resource* keyboard) {
  const int fd = memfd_create("fake-keymap", MFD_CLOEXEC);
  // The file holds the text and its closing NUL only, whatever size is stated.
  if (fd < 0 || write(fd, keymap_.c_str(), keymap_.size() + 1) != static_cast<ssize_t>(keymap_.size() + 1)) {
    std::abort();
  }
  wl_keyboard_send_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, statedSize_);
  close(fd);
}

}  // namespace srd::test
