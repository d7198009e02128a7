#include "platform/wayland/sway_layout_source.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/keys/uinput_key_backend.h"
#include "platform/wayland/unix_connect.h"

namespace srd {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = 6;
constexpr std::size_t kHeaderSize = kMagicSize + 8;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kGetInputs = 100;
constexpr std::uint32_t kEventBit = 0x80000000u;
// An event arrives whole once it begins: a generous bound only guards against a stuck sway.
constexpr int kEventLimitMs = 5000;

bool Send(int fd, std::uint32_t type, const std::string& payload) {
  std::string message(kMagic, kMagicSize);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  message += payload;
  // A few dozen bytes into an empty socket buffer: the send does not wait.
  return send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
         static_cast<ssize_t>(message.size());
}

// Reads exactly `size` bytes by the deadline.
bool ReadFully(int fd, int stopFd, const Deadline* deadline, char* data, std::size_t size) {
  while (size > 0) {
    if (!WaitReadable(fd, stopFd, deadline)) {
      return false;
    }
    const ssize_t n = recv(fd, data, size, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
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

bool ReceiveSwayMessage(int fd, int stopFd, const Deadline* deadline, std::uint32_t* type,
                        std::string* payload) {
  char header[kHeaderSize];
  std::uint32_t length = 0;
  if (!ReadFully(fd, stopFd, deadline, header, sizeof header) ||
      std::memcmp(header, kMagic, kMagicSize) != 0) {
    return false;
  }
  std::memcpy(&length, header + kMagicSize, 4);
  std::memcpy(type, header + kMagicSize + 4, 4);
  if (length > kSwayPayloadLimit) {
    return false;
  }
  payload->assign(length, '\0');
  return ReadFully(fd, stopFd, deadline, payload->data(), length);
}

// Enough of JSON for sway's inputs: the members "identifier", "name", "type" and "xkb_active_layout_index"
// of the objects two levels down (the array's elements, or an event's input).
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
      } else if (key == "identifier") {
        current.identifier = std::move(text);
      } else if (key == "type") {
        keyboard = text == "keyboard";
      }
    } else if (depth == 2 && key == "xkb_active_layout_index" && c >= '0' && c <= '9') {
      // Digits past what any keymap's groups could number make an index no keymap has.
      const std::size_t end = std::min(json.find_first_not_of("0123456789", i), json.size());
      std::int64_t index = 0;
      for (std::size_t d = i; d < end && index <= 0xFFFFFFFF; ++d) {
        index = index * 10 + (json[d] - '0');
      }
      current.activeLayout = std::min<std::int64_t>(index, 0xFFFFFFFF);
      i = end - 1;
      key.clear();
    }
  }
  return keyboards;
}

std::unique_ptr<SwayLayoutSource> SwayLayoutSource::Start(const std::string& socketPath,
                                                          ActiveLayoutChanged onChange, int limitMs,
                                                          std::string* whyNot) {
  if (socketPath.empty()) {
    *whyNot = "not a sway session";
    return nullptr;
  }
  const Deadline deadline(limitMs);
  const int fd = ConnectUnixSocket(socketPath, deadline);
  std::unique_ptr<SwayLayoutSource> source(
      new SwayLayoutSource(fd, eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), std::move(onChange)));
  std::uint32_t type = 0;
  std::string inputs;
  std::string subscribed;
  // Subscribed first: a switch between the answer and the subscription is not lost.
  bool answered = fd >= 0 && source->wakeFd_ >= 0 && Send(fd, kSubscribe, "[\"input\"]") &&
                  ReceiveSwayMessage(fd, -1, &deadline, &type, &subscribed) && type == kSubscribe &&
                  Send(fd, kGetInputs, "");
  // An event may come before the reply; the reply, which sway made after it, says the newer state.
  while (answered && (answered = ReceiveSwayMessage(fd, -1, &deadline, &type, &inputs)) &&
         (type & kEventBit) != 0) {
  }
  if (!answered || type != kGetInputs) {
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
  const auto own = std::find_if(keyboards.begin(), keyboards.end(), [](const SwayKeyboard& k) {
    return k.name == kUinputDeviceName && k.activeLayout >= 0;
  });
  auto keyboard = keyboards.end();
  if (own != keyboards.end()) {
    keyboard = own;
    followed_ = own->identifier;
  } else if (followed_.empty()) {
    keyboard = std::find_if(keyboards.begin(), keyboards.end(),
                            [](const SwayKeyboard& k) { return k.activeLayout >= 0; });
    if (keyboard != keyboards.end()) {
      followed_ = keyboard->identifier;
    }
  } else {
    keyboard = std::find_if(keyboards.begin(), keyboards.end(), [&](const SwayKeyboard& k) {
      return k.identifier == followed_ && k.activeLayout >= 0;
    });
  }
  if (keyboard == keyboards.end()) {
    return false;
  }
  ActiveLayout active;
  active.index = static_cast<std::uint32_t>(keyboard->activeLayout);
  active.where = "sway layout";
  onChange_(active);
  return true;
}

void SwayLayoutSource::Run() {
  for (;;) {
    // Every wait, also within a message, ends at a stop.
    if (!WaitReadable(fd_, wakeFd_, nullptr)) {
      return;  // stopped
    }
    std::uint32_t type = 0;
    std::string event;
    const Deadline deadline(kEventLimitMs);
    if (!ReceiveSwayMessage(fd_, wakeFd_, &deadline, &type, &event)) {
      return;  // stopped, or sway went away or sent what it never sends: the last layout holds
    }
    if ((type & kEventBit) != 0) {
      Report(event);
    }
  }
}

}  // namespace srd
