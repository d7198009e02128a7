#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/desktop_layout_source.h"

namespace srd {

// sway's active layout: over its IPC socket, the keyboard inputs (GET_INPUTS) with the index of each one's
// active layout, followed through its input events. The keyboard asked is the program's own uinput keyboard
// when sway lists it, else the first keyboard.
class SwayLayoutSource final : public DesktopLayoutSource {
 public:
  // nullptr with *whyNot set when nothing answers at `socketPath` within limitMs or no keyboard is listed.
  static std::unique_ptr<SwayLayoutSource> Start(const std::string& socketPath, ActiveLayoutChanged onChange,
                                                 int limitMs, std::string* whyNot);
  ~SwayLayoutSource() override;
  SwayLayoutSource(const SwayLayoutSource&) = delete;
  SwayLayoutSource& operator=(const SwayLayoutSource&) = delete;

 private:
  SwayLayoutSource(int fd, int wakeFd, ActiveLayoutChanged onChange);
  void Run();
  // Reports the active layout of the keyboard the inputs (a JSON array, or an event's input) name.
  bool Report(const std::string& json);

  int fd_;
  int wakeFd_;  // an eventfd: written to stop the thread
  ActiveLayoutChanged onChange_;
  std::thread thread_;
};

// One keyboard input as sway describes it.
struct SwayKeyboard {
  std::string name;
  int activeLayout = -1;
};

// The keyboards of sway's JSON (GET_INPUTS' array, or an input event), in order.
std::vector<SwayKeyboard> SwayKeyboards(const std::string& json);

}  // namespace srd
