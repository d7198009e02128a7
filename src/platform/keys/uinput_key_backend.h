#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/keys/repeat_suppression.h"
#include "platform/keys/translating_key_backend.h"

namespace srd {

// The kernel calls the uinput backend makes, behind a seam so that the set-up sequence and the event bytes
// can be checked without a uinput device. Results follow the kernel: a non-negative value, or -errno.
class UinputKernel {
 public:
  virtual ~UinputKernel() = default;
  virtual int Open(const char* path, int flags) = 0;
  // arg is the integer argument, or the address of the argument structure.
  virtual int Ioctl(int fd, unsigned long request, std::uintptr_t arg) = 0;
  virtual long Write(int fd, const void* data, std::size_t size) = 0;
  virtual int Close(int fd) = 0;
};

// The real kernel.
std::unique_ptr<UinputKernel> MakeSystemUinputKernel();

inline constexpr const char* kUinputPath = "/dev/uinput";
// The name the virtual keyboard has in the kernel and so in the desktop's device lists.
inline constexpr const char* kUinputDeviceName = "strokerelayd virtual keyboard";

// The least time between two key events written to the device. Every reader of an evdev device (libinput in
// the compositor, the X server) has a kernel queue of 64 events, 32 of the writes made here, and loses what
// does not fit when it is not scheduled in time (SYN_DROPPED: the desktop drops those keys). Written back to
// back, a dozen characters overflow it; spaced this far apart the reader may stay away 32 times this long,
// 96 ms. Measured in a virtual machine (software emulation) with sway and libinput typing into a native
// window, its CPUs kept busy on a loaded host: 0.5, 1 and 2 ms lost keys (sway fell behind by up to 132 ms),
// 3 ms lost none (docs/performance.md). About 145 characters of prose a second.
inline constexpr std::chrono::microseconds kUinputEventPace{3000};

// Injects keys through one virtual keyboard, created when the program starts and kept until it ends: events
// written in the first moments after a device appears are lost, until the desktop has opened the new device.
class UinputKeyBackend final : public TranslatingKeyBackend {
 public:
  // Opens `path` and creates the virtual keyboard; nullptr with *whyNot set (a phrase such as
  // "/dev/uinput cannot be opened (Permission denied)") when that fails. Key events are written at least
  // `pace` apart (kUinputEventPace unless given); the waits between them go through PauseBetweenKeyEvents,
  // so a stop cuts them short.
  static std::unique_ptr<UinputKeyBackend> Create(std::unique_ptr<UinputKernel> kernel, const char* path,
                                                  std::string* whyNot);
  static std::unique_ptr<UinputKeyBackend> Create(std::unique_ptr<UinputKernel> kernel, const char* path,
                                                  std::string* whyNot, std::chrono::nanoseconds pace);
  // Releases every held key, then removes the device.
  ~UinputKeyBackend() override;

  UinputKeyBackend(const UinputKeyBackend&) = delete;
  UinputKeyBackend& operator=(const UinputKeyBackend&) = delete;

  const char* Name() const override { return "uinput"; }

  // An X server repeats the keys of every keyboard device it has, the virtual one included, so a key whose
  // release was lost would type on (the kernel itself never repeats it: it has no EV_REP). `suppression`
  // turns that off, and is kept as long as the device.
  void KeepRepeatSuppression(std::unique_ptr<RepeatSuppression> suppression) {
    repeatSuppression_ = std::move(suppression);
  }

 protected:
  bool EmitKey(std::uint16_t code, bool down) override;

 private:
  UinputKeyBackend(std::unique_ptr<UinputKernel> kernel, int fd, std::chrono::nanoseconds pace)
      : kernel_(std::move(kernel)), fd_(fd), pace_(pace) {}

  std::unique_ptr<UinputKernel> kernel_;
  int fd_;
  std::chrono::nanoseconds pace_;
  // When the last key event was written; the next one waits until pace_ after it.
  std::chrono::steady_clock::time_point lastWrite_{};
  std::unique_ptr<RepeatSuppression> repeatSuppression_;
};

}  // namespace srd
