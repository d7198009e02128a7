#include "platform/x11/display_changes.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/x11/device_keymap.h"
#include "platform/x11/device_repeat.h"
#include "platform/x11/quiet_connection.h"

namespace srd {

namespace {

constexpr std::string_view kFilePrefix = "strokerelayd-xtest-";
constexpr std::string_view kFileSuffix = ".changes";
constexpr std::string_view kHeading = "strokerelayd xtest changes 1\n";
constexpr std::string_view kDisplayKey = "display=";
constexpr std::string_view kRepeatKey = "repeat=";
// Far more than a record needs: a longer file is not ours.
constexpr std::size_t kMaxRecord = 512;
// An X display name as the record may hold it: "host:number.screen" and the like, printable, no blanks.
constexpr std::size_t kMaxDisplayName = 255;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool ValidDisplayName(std::string_view name) {
  if (name.empty() || name.size() > kMaxDisplayName) {
    return false;
  }
  for (const char c : name) {
    if (c <= ' ' || c > '~') {
      return false;
    }
  }
  return true;
}

// Takes "key" + value + "\n" off the front of text; false when text does not start that way.
bool TakeLine(std::string_view& text, std::string_view key, std::string_view* value) {
  const std::size_t end = text.find('\n');
  if (!text.starts_with(key) || end == std::string_view::npos) {
    return false;
  }
  *value = text.substr(key.size(), end - key.size());
  text.remove_prefix(end + 1);
  return true;
}

std::optional<DisplayChanges> Parse(std::string_view text) {
  std::string_view display;
  std::string_view repeat;
  if (!text.starts_with(kHeading)) {
    return std::nullopt;
  }
  text.remove_prefix(kHeading.size());
  if (!TakeLine(text, kDisplayKey, &display) || !TakeLine(text, kRepeatKey, &repeat) || !text.empty() ||
      !ValidDisplayName(display) || (repeat != "on" && repeat != "off")) {
    return std::nullopt;
  }
  return DisplayChanges{std::string(display), repeat == "on"};
}

// The keycodes the slave keyboard named `deviceName` holds down, from its own state: a key that the person at
// the machine holds on another keyboard is none of ours.
std::vector<int> KeysDownOn(Display* display, const char* deviceName) {
  std::vector<int> down;
  const int id = FindSlaveKeyboard(display, deviceName);
  XDevice* device = id >= 0 ? XOpenDevice(display, static_cast<XID>(id)) : nullptr;
  if (device == nullptr) {
    return down;
  }
  if (XDeviceState* state = XQueryDeviceState(display, device)) {
    auto address = reinterpret_cast<std::uintptr_t>(state->data);
    for (int i = 0; i < state->num_classes; ++i) {
      const auto* inputClass = reinterpret_cast<const XInputClass*>(address);
      if (inputClass->c_class == KeyClass) {
        const auto* keys = reinterpret_cast<const XKeyState*>(address);
        for (int keycode = 0; keycode < keys->num_keys && keycode < 256; ++keycode) {
          if ((static_cast<unsigned char>(keys->keys[keycode / 8]) & (1u << (keycode % 8))) != 0) {
            down.push_back(keycode);
          }
        }
      }
      address += inputClass->length;
    }
    XFreeDeviceState(state);
  }
  XCloseDevice(display, device);
  return down;
}

void IgnoreLostConnection(Display*, void*) {}

}  // namespace

std::string DisplayServerOf(std::string_view displayName) {
  const std::size_t colon = displayName.rfind(':');
  if (colon == std::string_view::npos) {
    return std::string(displayName);
  }
  std::string_view host = displayName.substr(0, colon);
  std::string_view number = displayName.substr(colon + 1);
  number = number.substr(0, number.find('.'));  // the screen
  if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos ||
      number.size() > 9) {
    return std::string(displayName);
  }
  std::string_view protocol;
  if (const std::size_t slash = host.find('/'); slash != std::string_view::npos) {
    protocol = host.substr(0, slash);
    host = host.substr(slash + 1);
  }
  std::string server;
  if (!(host.empty() || host == "unix" || protocol == "unix" || protocol == "local")) {
    for (const char c : host) {
      server += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  unsigned long value = 0;
  std::from_chars(number.data(), number.data() + number.size(), value);  // at most 9 digits: no overflow
  return server + ":" + std::to_string(value);
}

std::string DisplayChangesPath(const std::string& directory, std::string_view displayName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string path = directory + "/" + std::string(kFilePrefix);
  for (const char c : DisplayServerOf(displayName.substr(0, kMaxDisplayName))) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_' ||
        u == '-') {
      path += c;
    } else {
      path += '%';
      path += kHex[u >> 4];
      path += kHex[u & 0xF];
    }
  }
  return path + std::string(kFileSuffix);
}

bool WriteDisplayChanges(const std::string& path, const DisplayChanges& changes) {
  if (!ValidDisplayName(changes.display)) {
    return false;
  }
  std::string text(kHeading);
  text.append(kDisplayKey).append(changes.display).append("\n");
  text.append(kRepeatKey).append(changes.repeatWasOn ? "on" : "off").append("\n");
  const std::string temporary = path + ".new";
  unlink(temporary.c_str());  // a leftover of a write that a kill interrupted
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  const bool written = WriteAll(fd, text);
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::optional<DisplayChanges> ReadDisplayChanges(const std::string& path) {
  // O_NONBLOCK: a FIFO planted under the name must not hold the start up; O_NOFOLLOW: nor a link lead
  // elsewhere.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) {
      RemoveDisplayChanges(path);
    }
    return std::nullopt;
  }
  struct stat info {};
  char buffer[kMaxRecord + 1];
  ssize_t length = -1;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid() &&
      (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && info.st_size <= static_cast<off_t>(kMaxRecord)) {
    length = read(fd, buffer, sizeof buffer);
  }
  close(fd);
  std::optional<DisplayChanges> changes;
  if (length > 0 && static_cast<std::size_t>(length) <= kMaxRecord) {
    changes = Parse(std::string_view(buffer, static_cast<std::size_t>(length)));
  }
  if (!changes) {
    RemoveDisplayChanges(path);
  }
  return changes;
}

void RemoveDisplayChanges(const std::string& path) {
  unlink(path.c_str());
}

void PutDisplayChangesRight(Display* display, const DisplayChanges& changes) {
  for (const int keycode : KeysDownOn(display, XDeviceRepeat::kXTestKeyboard)) {
    XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), False, CurrentTime);
  }
  if (changes.repeatWasOn) {
    XDeviceRepeat::TurnOn(display, XDeviceRepeat::kXTestKeyboard);
  }
  XSync(display, False);
}

void PutRightWhatWasLeft(const std::string& displayName, const std::string& directory) {
  const std::string path = DisplayChangesPath(directory, displayName);
  const std::optional<DisplayChanges> left = ReadDisplayChanges(path);
  if (!left) {
    return;
  }
  if (DisplayServerOf(left->display) != DisplayServerOf(displayName)) {
    RemoveDisplayChanges(path);  // not a record this program wrote under that name
    return;
  }
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) {
    return;
  }
  // A server that goes away meanwhile must not end the program, as Xlib's default would.
  RegisterQuietConnection(display);
  XSetIOErrorExitHandler(display, &IgnoreLostConnection, nullptr);
  PutDisplayChangesRight(display, *left);
  UnregisterQuietConnection(display);
  XCloseDisplay(display);
  RemoveDisplayChanges(path);
}

}  // namespace srd
