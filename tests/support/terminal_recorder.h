#pragma once

#include <sys/types.h>

#include <string>

#include "support/test_user.h"

namespace srd::test {

// A user's terminal in a Wayland session: foot, a native Wayland client, running `cat` into a file, so that
// the file holds the text the focused terminal got, line by line as its line discipline hands it on.
class TerminalRecorder {
 public:
  TerminalRecorder() = default;
  ~TerminalRecorder();
  TerminalRecorder(const TerminalRecorder&) = delete;
  TerminalRecorder& operator=(const TerminalRecorder&) = delete;

  // Opens the terminal as `user` on the compositor `waylandDisplay`; the recording goes to a file in
  // `runtimeDir` (the user's). False when foot could not be started.
  bool Start(const TestUser& user, const std::string& runtimeDir, const std::string& waylandDisplay);
  // What the terminal got since the last Mark().
  std::string Text() const;
  void Mark() { mark_ += Text().size(); }

 private:
  pid_t pid_ = -1;
  std::string file_;
  std::size_t mark_ = 0;
};

}  // namespace srd::test
