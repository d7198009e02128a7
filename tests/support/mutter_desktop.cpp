#include "support/mutter_desktop.h"

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

namespace {

void End(pid_t& pid) {
  if (pid > 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
}

// A session bus that lets the test's own user in beside the desktop's, so that a test running as root can
// look at it.
std::string BusConfig(const std::string& socket) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>session</type>\n"
         "  <listen>unix:path=" +
         socket +
         "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow user=\"*\"/>\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

}  // namespace

bool MutterDesktop::Start(const TestUser& user) {
  const std::string& dir = runtime_.Path();
  if (dir.empty() || !GiveTo(user, dir) || chmod(dir.c_str(), 0700) != 0) {
    return false;
  }
  // The terminal repeats a key whose release comes late, and on a busy machine mutter's events may: the
  // recording is to hold each key once, so mutter tells its clients not to repeat (its keyboard settings,
  // from a keyfile).
  const std::string settings = dir + "/config/glib-2.0/settings";
  std::filesystem::create_directories(settings);
  std::ofstream(settings + "/keyfile") << "[org/gnome/desktop/peripherals/keyboard]\nrepeat=false\n";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir + "/config")) {
    GiveTo(user, entry.path());
  }
  GiveTo(user, dir + "/config");
  const std::string config = dir + "/bus.conf";
  std::ofstream(config) << BusConfig(dir + "/bus");
  bus_ = "unix:path=" + dir + "/bus";
  const auto asUser = [&] {
    BecomeUserInChild(user);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("HOME", dir.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
  };
  busPid_ = StartServerChild({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + config}, asUser);
  if (busPid_ <= 0 ||
      !WaitUntil([&] { return std::filesystem::exists(dir + "/bus"); }, std::chrono::seconds(10))) {
    return false;
  }
  display_ = dir + "/srd-mutter";
  pid_ = StartServerChild({"mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor", "800x600",
                           "--wayland-display=srd-mutter"},
                          asUser);
  if (pid_ <= 0) {
    return false;
  }
  // Its remote desktop is on the bus once mutter has started.
  const auto answers = [&] {
    ProgramOptions options("/usr/bin/dbus-send");
    options.arguments = {"--session",
                         "--print-reply",
                         "--dest=org.freedesktop.DBus",
                         "/org/freedesktop/DBus",
                         "org.freedesktop.DBus.GetNameOwner",
                         "string:org.gnome.Mutter.RemoteDesktop"};
    options.environment = {{"DBUS_SESSION_BUS_ADDRESS", bus_}};
    return std::filesystem::exists(display_) &&
           ProgramProcess::RunToEnd(options, std::chrono::seconds(10)) == 0;
  };
  return WaitUntil(answers, std::chrono::seconds(30), std::chrono::milliseconds(100));
}

void MutterDesktop::Stop() {
  End(pid_);
  End(busPid_);
}

}  // namespace srd::test
