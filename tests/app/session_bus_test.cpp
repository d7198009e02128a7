// On an X display with no session bus, neither the program nor the window toolkit under it may start one on
// demand: nothing it leaves behind runs once it has ended.

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"
#include "../support/wait_until.h"
#include "../support/xvfb_server.h"

namespace {

using namespace std::chrono_literals;
using srd::test::ProgramOptions;
using srd::test::ProgramProcess;

// The processes, other than the display server itself, whose environment names this display: whatever a
// program started on it left running (a bus started on demand takes the program's environment with it).
[[maybe_unused]] std::vector<std::string> ProcessesOnDisplay(const std::string& display) {
  std::vector<std::string> found;
  const std::string wanted = "DISPLAY=" + display;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return found;
  }
  while (const dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid())) {
      continue;
    }
    std::ifstream environ("/proc/" + pid + "/environ", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
      if (text.compare(at, end - at, wanted) == 0) {
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        std::getline(comm, name);
        found.push_back(pid + " " + name);
        break;
      }
    }
  }
  closedir(proc);
  return found;
}

TEST(SessionBusTest, ARunOnAnXDisplayWithoutABusLeavesNoProcessBehind) {
#ifndef SRD_HAVE_QT
  GTEST_SKIP() << "built without the window module";
#else
  if (access("/usr/bin/dbus-launch", X_OK) != 0) {
    GTEST_SKIP() << "dbus-launch (dbus-x11) is not installed: nothing could be started on demand";
  }
  srd::XvfbServer xvfb;
  ASSERT_TRUE(xvfb.Start());
  const std::vector<std::string> before = ProcessesOnDisplay(xvfb.DisplayName());
  srd::test::ScopedTempDir runtime("srd-bus");  // no bus socket in it
  ProgramOptions options(SRD_PROGRAM,
                         {{"DISPLAY", xvfb.DisplayName()},
                          {"DBUS_SESSION_BUS_ADDRESS", ""},
                          {"QT_QPA_PLATFORM", "xcb"},
                          {"WAYLAND_DISPLAY", ""}},
                         runtime.Path());
  const int port = srd::test::FindFreeUdpPort();
  options.arguments = {"-p", std::to_string(port)};
  ProgramProcess program(options);
  ASSERT_TRUE(program.Started());
  // The window is up before the worker binds; give the toolkit time to look for a bus.
  ASSERT_TRUE(program.WaitBound(static_cast<std::uint16_t>(port), 20s)) << program.Stderr();
  std::this_thread::sleep_for(2s);
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitExit(20s), 0);
  // Anything started on demand would be running now; allow it a moment to have been started.
  std::this_thread::sleep_for(500ms);
  const std::vector<std::string> after = ProcessesOnDisplay(xvfb.DisplayName());
  EXPECT_EQ(after, before) << program.Stderr();
  for (const std::string& left : after) {  // the test's own leftovers go, even when it failed
    if (std::find(before.begin(), before.end(), left) == before.end()) {
      kill(std::stoi(left), SIGKILL);
    }
  }
#endif
}

}  // namespace
