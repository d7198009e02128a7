#include "support/sway_desktop.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/program_process.h"
#include "support/server_child.h"
#include "support/wait_until.h"

namespace srd::test {

bool SwayDesktop::Start(const TestUser& user, const std::string& layouts) {
  user_ = user;
  const std::string& dir = runtime_.Path();
  if (dir.empty() || !GiveTo(user, dir) || chmod(dir.c_str(), 0700) != 0) {
    return false;
  }
  const std::string config = dir + "/config";
  {
    std::ofstream out(config);
    out << "xwayland disable\n"
        << "input type:keyboard xkb_layout " << layouts << "\n"
        << "output HEADLESS-1 resolution 800x600\n";
  }
  pid_ = StartServerChild({"sway", "-c", config}, [&] {
    BecomeUserInChild(user);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("HOME", dir.c_str(), 1);
    setenv("WLR_BACKENDS", "headless", 1);
    setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
    setenv("WLR_RENDERER", "pixman", 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    unsetenv("SWAYSOCK");
  });
  if (pid_ <= 0) {
    return false;
  }
  const auto sockets = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename();
      if (entry.is_socket() && name.starts_with("wayland-")) {
        display_ = entry.path();
      } else if (entry.is_socket() && name.starts_with("sway-ipc.")) {
        ipc_ = entry.path();
      }
    }
    return !display_.empty() && !ipc_.empty();
  };
  return WaitUntil(sockets, std::chrono::seconds(20), std::chrono::milliseconds(20)) &&
         keyboard_.Start(display_, layouts);
}

void SwayDesktop::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

bool SwayDesktop::SwitchLayout(int index) const {
  ProgramOptions options("/usr/bin/swaymsg");
  options.arguments = {"input", "type:keyboard", "xkb_switch_layout", std::to_string(index)};
  const std::vector<std::string> command = AsUser(user_, {"/usr/bin/swaymsg"});
  options.path = command.front();
  options.arguments.insert(options.arguments.begin(), command.begin() + 1, command.end());
  options.environment = {{"SWAYSOCK", ipc_}};
  options.runtimeDir = runtime_.Path();
  return ProgramProcess::RunToEnd(options, std::chrono::seconds(20)) == 0;
}

}  // namespace srd::test
