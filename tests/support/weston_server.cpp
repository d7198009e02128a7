#include "weston_server.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <vector>

#include <xkbcommon/xkbcommon.h>

#include "server_child.h"
#include "wait_until.h"

namespace srd::test {

namespace {

// A loaded machine can take seconds to bring weston and XWayland up.
constexpr auto kStartLimit = std::chrono::seconds(30);

// The XKB id of XWayland's keyboard device, which it adds once the compositor's seat has a keyboard; -1
// before.
int XWaylandKeyboard(Display* display) {
  int count = 0;
  XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
  int found = -1;
  for (int i = 0; i < count; ++i) {
    if (devices[i].use == XISlaveKeyboard && std::string(devices[i].name).starts_with("xwayland-keyboard")) {
      found = devices[i].deviceid;
    }
  }
  XIFreeDeviceInfo(devices);
  return found;
}

// Whether XWayland's keyboard carries the keymap of these layouts yet: it starts with a default one and
// receives the compositor's a moment later. Judged by the plain keysyms of the main block.
bool XWaylandHasKeymap(Display* display, const std::string& layouts, const std::string& variants) {
  const int device = XWaylandKeyboard(display);
  XkbDescPtr server =
      device >= 0 ? XkbGetMap(display, XkbKeySymsMask, static_cast<unsigned>(device)) : nullptr;
  if (server == nullptr) {
    return false;
  }
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  const xkb_rule_names names = {"evdev", "pc105", layouts.c_str(), variants.c_str(), ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  bool same = keymap != nullptr;
  for (int keycode = 10; same && keycode <= 61; ++keycode) {  // from the digit 1 to the slash key
    const xkb_keysym_t* syms = nullptr;
    const int count =
        xkb_keymap_key_get_syms_by_level(keymap, static_cast<xkb_keycode_t>(keycode), 0, 0, &syms);
    const KeySym mine = XkbKeyNumSyms(server, keycode) > 0 ? XkbKeySymEntry(server, keycode, 0, 0) : NoSymbol;
    same = mine == (count > 0 ? syms[0] : NoSymbol);
  }
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  XkbFreeKeyboard(server, 0, True);
  return same;
}

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
  pid_ = StartServerChild(args, [&] {
    setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    setenv("SRD_TEST_NEXT_LAYOUTS", nextLayouts.c_str(), 1);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 2);
  });
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
  if (!listening || access(WaylandDisplay().c_str(), F_OK) != 0 || !WaitForXWayland(layouts, variants)) {
    Stop();
    return false;
  }
  return true;
}

// XWayland starts with its first X client; until then, and until it has the seat's keymap, a connection may
// fail or see the default keymap.
bool WestonServer::WaitForXWayland(const std::string& layouts, const std::string& variants) {
  return WaitUntil(
      [&] {
        Display* display = XOpenDisplay(xDisplay_.c_str());
        if (display == nullptr) {
          return false;
        }
        const bool ready = XWaylandHasKeymap(display, layouts, variants);
        XCloseDisplay(display);
        return ready;
      },
      kStartLimit, std::chrono::milliseconds(100));
}

bool WestonServer::Key(int linuxCode, bool down) {
  const int fd = open((runtime_.Path() + "/test-seat-keys").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const std::string line = std::to_string(linuxCode) + (down ? " 1\n" : " 0\n");
  const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(fd);
  return written;
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
