#pragma once

#include <sys/types.h>

#include <string>

namespace srd {

// A private Xvfb for one test: started on a free display (or a given one), ready when Start returns, killed
// by Stop or the destructor. Keymap resets are off (-noreset) so keys stay where the evdev rules put them.
class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // displayNumber < 0: the server picks a free one. False when it did not come up.
  bool Start(int displayNumber = -1);
  void Stop();

  int DisplayNumber() const { return number_; }
  std::string DisplayName() const { return ":" + std::to_string(number_); }

 private:
  pid_t pid_ = -1;
  int number_ = -1;
};

}  // namespace srd
