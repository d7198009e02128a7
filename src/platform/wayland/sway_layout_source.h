#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/deadline.h"
#include "platform/wayland/desktop_layout_source.h"

namespace srd {

// sway's active layout: over its IPC socket, the keyboard inputs (GET_INPUTS) with the index of each one's
// active layout, followed through its input events. The keyboard followed is the program's own uinput
// keyboard when sway lists it (also once it is added later), else the one chosen at start: the first
// keyboard with layouts. Events about other keyboards say nothing about the keys typed.
class SwayLayoutSource final : public DesktopLayoutSource {
 public:
  // nullptr with *whyNot set when nothing answers at `socketPath` within limitMs (connecting, both requests
  // and their whole replies together) or no keyboard is listed.
  static std::unique_ptr<SwayLayoutSource> Start(const std::string& socketPath, ActiveLayoutChanged onChange,
                                                 int limitMs, std::string* whyNot);
  ~SwayLayoutSource() override;
  SwayLayoutSource(const SwayLayoutSource&) = delete;
  SwayLayoutSource& operator=(const SwayLayoutSource&) = delete;

 private:
  SwayLayoutSource(int fd, int wakeFd, ActiveLayoutChanged onChange);
  void Run();
  // Reports the active layout of the followed keyboard among those the JSON (GET_INPUTS' array, or an
  // event's input) names; false when it names none.
  bool Report(const std::string& json);

  int fd_;
  int wakeFd_;  // an eventfd: written to stop the thread
  ActiveLayoutChanged onChange_;
  std::string followed_;  // the identifier of the keyboard followed
  std::thread thread_;
};

// One keyboard input as sway describes it.
struct SwayKeyboard {
  std::string identifier;
  std::string name;
  std::int64_t activeLayout = -1;  // -1: none said
};

// The keyboards of sway's JSON (GET_INPUTS' array, or an input event), in order.
std::vector<SwayKeyboard> SwayKeyboards(const std::string& json);

// The largest message payload taken from sway: its inputs' description is a few kilobytes a device.
inline constexpr std::uint32_t kSwayPayloadLimit = 1 << 20;

// Reads one whole IPC message (header and payload) from `fd` by `deadline` (nullptr: none), each wait also
// ending when `stopFd` (-1: none) becomes readable; false when none came whole in time, the header is not
// sway's, or its payload is above kSwayPayloadLimit (then nothing is allocated for it).
bool ReceiveSwayMessage(int fd, int stopFd, const Deadline* deadline, std::uint32_t* type,
                        std::string* payload);

}  // namespace srd
