#include "weston_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <vector>

#include "wait_until.h"

namespace srd::test {

namespace {

// A loaded machine can take seconds to bring weston and XWayland up.
constexpr auto kStartLimit = std::chrono::seconds(30);

}  // namespace

bool WestonServer::Start(const std::string& layouts, const std::string& variants,
                         const std::string& nextLayouts) {
  if (runtime_.Path().empty()) {
    return false;
  }
  const std::string config = runtime_.Path() + "/weston.ini";
  std::ofstream(config) << "[core]\nxwayland=true\nshell=kiosk-shell.so\n"
                        << "[keyboard]\nkeymap_layout=" << layouts << "\nkeymap_variant=" << variants
                        << "\nkeymap_options=grp:alt_shift_toggle\n";
  // weston listens for X clients in the usual directory, which a machine that never ran an X server lacks.
  mkdir("/tmp/.X11-unix", 01777);
  const std::string log = runtime_.Path() + "/weston.log";
  std::vector<std::string> args = {"weston",
                                   "--backend=headless-backend.so",
                                   "--xwayland",
                                   "--idle-time=0",
                                   "--config=" + config,
                                   std::string("--socket=") + kSocket,
                                   "--log=" + log,
                                   std::string("--modules=") + SRD_TEST_WESTON_SEAT_MODULE};
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The compositor dies with the test, even when the test is killed or crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
      _exit(127);
    }
    setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    setenv("SRD_TEST_NEXT_LAYOUTS", nextLayouts.c_str(), 1);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(devNull, 2);
    execvp("weston", argv.data());
    _exit(127);
  }
  if (pid_ < 0) {
    return false;
  }
  // weston's XWayland takes the lowest free display number and says which in its log.
  const bool listening = WaitUntil(
      [&] {
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        const std::string all = text.str();
        const auto at = all.find("xserver listening on display ");
        if (at == std::string::npos) {
          return false;
        }
        std::istringstream(all.substr(at + 29)) >> xDisplay_;
        return !xDisplay_.empty();
      },
      kStartLimit, std::chrono::milliseconds(20));
  if (!listening || access(WaylandDisplay().c_str(), F_OK) != 0 || !WaitForXWayland()) {
    Stop();
    return false;
  }
  return true;
}

// XWayland starts with its first X client; until then, and until it has the seat's keymap, a connection may
// fail or see the default keymap.
bool WestonServer::WaitForXWayland() {
  return WaitUntil(
      [&] {
        Display* display = XOpenDisplay(xDisplay_.c_str());
        if (display == nullptr) {
          return false;
        }
        XCloseDisplay(display);
        return true;
      },
      kStartLimit, std::chrono::milliseconds(100));
}

void WestonServer::SwitchKeymap() const {
  if (pid_ > 0) {
    kill(pid_, SIGUSR2);
  }
}

void WestonServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
}

}  // namespace srd::test
