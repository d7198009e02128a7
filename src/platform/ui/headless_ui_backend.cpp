#include "platform/ui/headless_ui_backend.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace srd {

HeadlessUiBackend::HeadlessUiBackend() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HeadlessUiBackend::~HeadlessUiBackend() {
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
}

bool HeadlessUiBackend::OnMenuBar(Window* bar, const MenuResource& menu) {
  (void)bar;
  (void)menu;
  return menuBarsAvailable_;
}

FrontResult HeadlessUiBackend::BringToFront(Window* window, const std::string& activationToken) {
  ++bringToFrontCount_;
  lastBroughtToFront_ = window;
  lastActivationToken_ = activationToken;
  return FrontResult::NoWindow;
}

void HeadlessUiBackend::OnModal(Window* dialog, Window* owner, bool begin) {
  (void)owner;
  if (begin && modalHook_) {
    modalHook_(dialog);
  }
}

void HeadlessUiBackend::Wait() {
  std::vector<pollfd> fds;
  fds.push_back(pollfd{wakeFd_, POLLIN, 0});
  for (const auto& [fd, callback] : watched_) {
    fds.push_back(pollfd{fd, POLLIN, 0});
  }
  const int ready = poll(fds.data(), fds.size(), -1);
  if (ready <= 0) {
    return;  // EINTR and the like: the caller looks at its queue and waits again
  }
  if ((fds[0].revents & POLLIN) != 0) {
    std::uint64_t count = 0;
    // Drains the counter; nothing to do if another reader got there first.
    (void)!read(wakeFd_, &count, sizeof count);
  }
  for (std::size_t i = 1; i < fds.size(); ++i) {
    if ((fds[i].revents & POLLNVAL) != 0) {
      watched_.erase(fds[i].fd);  // closed without being unwatched: forget it rather than spin
      continue;
    }
    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
      continue;
    }
    // The callback may unwatch descriptors (its own among them): look it up afresh.
    auto it = watched_.find(fds[i].fd);
    if (it != watched_.end()) {
      auto callback = it->second;
      callback();
    }
  }
}

void HeadlessUiBackend::Wake() {
  const std::uint64_t one = 1;
  (void)!write(wakeFd_, &one, sizeof one);
}

bool HeadlessUiBackend::WatchFd(int fd, std::function<void()> onReadable) {
  if (fd < 0 || !onReadable) {
    return false;
  }
  watched_[fd] = std::move(onReadable);
  return true;
}

void HeadlessUiBackend::UnwatchFd(int fd) {
  watched_.erase(fd);
}

}  // namespace srd
