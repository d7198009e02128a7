#include "platform/wayland/sway_layout_source.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/keys/uinput_key_backend.h"

namespace srd {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = 6;
constexpr std::size_t kHeaderSize = kMagicSize + 8;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kGetInputs = 100;

bool Send(int fd, std::uint32_t type, const std::string& payload) {
  std::string message(kMagic, kMagicSize);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  message += payload;
  return send(fd, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size());
}

// Reads exactly `size` bytes, waiting at most until `deadline` (none: -1) for each part.
bool ReadFully(int fd, char* data, std::size_t size, int limitMs) {
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, limitMs) <= 0) {
      return false;
    }
    const ssize_t n = read(fd, data, size);
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// One message: its type and payload; false when none came whole.
bool Receive(int fd, int limitMs, std::uint32_t* type, std::string* payload) {
  char header[kHeaderSize];
  std::uint32_t length = 0;
  if (!ReadFully(fd, header, sizeof header, limitMs) || std::memcmp(header, kMagic, kMagicSize) != 0) {
    return false;
  }
  std::memcpy(&length, header + kMagicSize, 4);
  std::memcpy(type, header + kMagicSize + 4, 4);
  payload->assign(length, '\0');
  return ReadFully(fd, payload->data(), length, limitMs);
}

// The end of the JSON string that starts at `at` (its opening quote).
std::size_t StringEnd(const std::string& json, std::size_t at) {
  for (std::size_t i = at + 1; i < json.size(); ++i) {
    if (json[i] == '\\') {
      ++i;
    } else if (json[i] == '"') {
      return i;
    }
  }
  return json.size();
}

}  // namespace

// Enough of JSON for sway's inputs: the members "name", "type" and "xkb_active_layout_index" of the objects
// two levels down (the array's elements, or an event's input).
std::vector<SwayKeyboard> SwayKeyboards(const std::string& json) {
  std::vector<SwayKeyboard> keyboards;
  SwayKeyboard current;
  bool keyboard = false;
  int depth = 0;
  std::string key;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '{' || c == '[') {
      if (++depth == 2) {
        current = SwayKeyboard{};
        keyboard = false;
      }
    } else if (c == '}' || c == ']') {
      if (depth-- == 2 && keyboard) {
        keyboards.push_back(current);
      }
    } else if (c == '"') {
      const std::size_t end = StringEnd(json, i);
      std::string text = json.substr(i + 1, end - i - 1);
      i = end;
      const std::size_t next = json.find_first_not_of(" \t\r\n", i + 1);
      if (depth != 2) {
        continue;
      }
      if (next != std::string::npos && json[next] == ':') {
        key = std::move(text);
      } else if (key == "name") {
        current.name = std::move(text);
      } else if (key == "type") {
        keyboard = text == "keyboard";
      }
    } else if (depth == 2 && key == "xkb_active_layout_index" && c >= '0' && c <= '9') {
      current.activeLayout = std::atoi(json.c_str() + i);
      i = json.find_first_not_of("0123456789", i) - 1;
      key.clear();
    }
  }
  return keyboards;
}

std::unique_ptr<SwayLayoutSource> SwayLayoutSource::Start(const std::string& socketPath,
                                                          ActiveLayoutChanged onChange, int limitMs,
                                                          std::string* whyNot) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
    *whyNot = "not a sway session";
    return nullptr;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::unique_ptr<SwayLayoutSource> source(
      new SwayLayoutSource(fd, eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), std::move(onChange)));
  std::uint32_t type = 0;
  std::string inputs;
  std::string subscribed;
  // Subscribed first: a switch between the answer and the subscription is not lost.
  if (fd < 0 || source->wakeFd_ < 0 ||
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      !Send(fd, kSubscribe, "[\"input\"]") || !Receive(fd, limitMs, &type, &subscribed) ||
      !Send(fd, kGetInputs, "") || !Receive(fd, limitMs, &type, &inputs) || type != kGetInputs) {
    *whyNot = "sway does not answer";
    return nullptr;
  }
  if (!source->Report(inputs)) {
    *whyNot = "sway lists no keyboard";
    return nullptr;
  }
  source->thread_ = std::thread([s = source.get()] { s->Run(); });
  return source;
}

SwayLayoutSource::SwayLayoutSource(int fd, int wakeFd, ActiveLayoutChanged onChange)
    : fd_(fd), wakeFd_(wakeFd), onChange_(std::move(onChange)) {}

SwayLayoutSource::~SwayLayoutSource() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // An eventfd write fails only when its counter is full, and then the thread is being woken anyway.
    }
    thread_.join();
  }
  if (fd_ >= 0) {
    close(fd_);
  }
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
}

bool SwayLayoutSource::Report(const std::string& json) {
  const std::vector<SwayKeyboard> keyboards = SwayKeyboards(json);
  auto keyboard = std::find_if(keyboards.begin(), keyboards.end(),
                               [](const SwayKeyboard& k) { return k.name == kUinputDeviceName; });
  if (keyboard == keyboards.end()) {
    keyboard = std::find_if(keyboards.begin(), keyboards.end(),
                            [](const SwayKeyboard& k) { return k.activeLayout >= 0; });
  }
  if (keyboard == keyboards.end() || keyboard->activeLayout < 0) {
    return false;
  }
  ActiveLayout active;
  active.index = keyboard->activeLayout;
  active.where = "sway layout";
  onChange_(active);
  return true;
}

void SwayLayoutSource::Run() {
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      continue;
    }
    std::uint32_t type = 0;
    std::string event;
    // An event arrives whole once it begins: a generous bound only guards against a stuck sway.
    if ((fds[1].revents & POLLIN) != 0 || !Receive(fd_, 5000, &type, &event)) {
      return;  // stopped, or sway went away: the last layout holds
    }
    Report(event);
  }
}

}  // namespace srd
