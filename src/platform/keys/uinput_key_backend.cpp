#include "platform/keys/uinput_key_backend.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/keys/key_pause.h"
#include "platform/layout/vk_table.h"

// Raw ioctls rather than libevdev: the device needs six kinds of call, all fixed at compile time, and with
// the calls made here the seam sees exactly what the kernel sees (request codes, the set-up structure, the
// event bytes), which is what the tests check. libevdev would add a run-time dependency and hide those bytes.

namespace srd {

namespace {

class SystemUinputKernel final : public UinputKernel {
 public:
  int Open(const char* path, int flags) override {
    const int fd = ::open(path, flags);
    return fd >= 0 ? fd : -errno;
  }
  int Ioctl(int fd, unsigned long request, std::uintptr_t arg) override {
    int result;
    do {
      result = ::ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result >= 0 ? result : -errno;
  }
  long Write(int fd, const void* data, std::size_t size) override {
    ssize_t written;
    do {
      written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written >= 0 ? static_cast<long>(written) : -errno;
  }
  int Close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
};

constexpr std::uint16_t kHighestLegacyKeyboardCode =
    31;  // udev calls a device a keyboard when 1-31 are there

// The system's error text, lower-cased at the start to sit inside a sentence ("permission denied").
std::string KernelError(int negativeErrno) {
  std::string text = std::strerror(-negativeErrno);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

#ifdef SRD_UINPUT_EVENT_PACE_US
// A measurement build (bench/uinput_pace_vm): the program the package ships has no way to change its pace.
constexpr std::chrono::microseconds kBuiltPace{SRD_UINPUT_EVENT_PACE_US};
#else
constexpr std::chrono::microseconds kBuiltPace = kUinputEventPace;
#endif

}  // namespace

std::unique_ptr<UinputKernel> MakeSystemUinputKernel() {
  return std::make_unique<SystemUinputKernel>();
}

std::unique_ptr<UinputKeyBackend> UinputKeyBackend::Create(std::unique_ptr<UinputKernel> kernel,
                                                           const char* path, std::string* whyNot) {
  return Create(std::move(kernel), path, whyNot, kBuiltPace);
}

std::unique_ptr<UinputKeyBackend> UinputKeyBackend::Create(std::unique_ptr<UinputKernel> kernel,
                                                           const char* path, std::string* whyNot,
                                                           std::chrono::nanoseconds pace) {
  const int fd = kernel->Open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *whyNot = std::string(path) + " cannot be opened (" + KernelError(fd) + ")";
    return nullptr;
  }
  int result = kernel->Ioctl(fd, UI_SET_EVBIT, EV_KEY);
  for (std::uint16_t code = 1; code <= kHighestLegacyKeyboardCode && result >= 0; ++code) {
    result = kernel->Ioctl(fd, UI_SET_KEYBIT, code);
  }
  for (std::uint16_t code : EmittableLinuxKeyCodes()) {
    if (code > kHighestLegacyKeyboardCode && result >= 0) {
      result = kernel->Ioctl(fd, UI_SET_KEYBIT, code);
    }
  }
  if (result >= 0) {
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x5352;
    setup.id.product = 0x0001;
    setup.id.version = 1;
    std::strncpy(setup.name, kUinputDeviceName, UINPUT_MAX_NAME_SIZE - 1);
    result = kernel->Ioctl(fd, UI_DEV_SETUP, reinterpret_cast<std::uintptr_t>(&setup));
  }
  if (result >= 0) {
    result = kernel->Ioctl(fd, UI_DEV_CREATE, 0);
  }
  if (result < 0) {
    kernel->Close(fd);
    *whyNot =
        std::string("the virtual keyboard cannot be created on ") + path + " (" + KernelError(result) + ")";
    return nullptr;
  }
  return std::unique_ptr<UinputKeyBackend>(new UinputKeyBackend(std::move(kernel), fd, pace));
}

UinputKeyBackend::~UinputKeyBackend() {
  // Destroying the device releases held keys in the kernel too; releasing them here keeps the desktop's view
  // of the keyboard consistent whatever it makes of a vanishing device.
  ReleaseAll();
  kernel_->Ioctl(fd_, UI_DEV_DESTROY, 0);
  kernel_->Close(fd_);
}

bool UinputKeyBackend::EmitKey(std::uint16_t code, bool down) {
  // Events that come further apart than the pace (a person typing, one character a datagram) never wait.
  // Once a stop refuses the wait, the rest of the datagram goes out at once: the program is ending, and the
  // keys still held are released and the device removed right after.
  const auto due = lastWrite_ + pace_;
  const auto now = std::chrono::steady_clock::now();
  if (now < due) {
    PauseBetweenKeyEvents(due - now);
  }
  // The key event and the report that ends it go in one write, so the kernel never sees half an event.
  input_event events[2]{};
  events[0].type = EV_KEY;
  events[0].code = code;
  events[0].value = down ? 1 : 0;
  events[1].type = EV_SYN;
  events[1].code = SYN_REPORT;
  events[1].value = 0;
  const bool written = kernel_->Write(fd_, events, sizeof events) == static_cast<long>(sizeof events);
  lastWrite_ = std::chrono::steady_clock::now();
  return written;
}

}  // namespace srd
