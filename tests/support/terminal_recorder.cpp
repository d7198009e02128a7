#include "support/terminal_recorder.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "support/server_child.h"

namespace srd::test {

TerminalRecorder::~TerminalRecorder() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

bool TerminalRecorder::Start(const TestUser& user, const std::string& runtimeDir,
                             const std::string& waylandDisplay) {
  file_ = runtimeDir + "/terminal.txt";
  const std::string script = "exec cat > '" + file_ + "'";
  pid_ = StartServerChild({"foot", "--log-level=error", "sh", "-c", script}, [&] {
    BecomeUserInChild(user);
    setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    setenv("HOME", runtimeDir.c_str(), 1);
    setenv("WAYLAND_DISPLAY", waylandDisplay.c_str(), 1);
    unsetenv("DISPLAY");
  });
  return pid_ > 0;
}

std::string TerminalRecorder::Text() const {
  std::ifstream in(file_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > mark_ ? all.substr(mark_) : std::string();
}

}  // namespace srd::test
