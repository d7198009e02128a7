// The program as a process: start-up to its UDP port bound, the time a SIGTERM takes to end it, and what it
// costs while idle (CPU seconds from /proc/PID/stat in clock ticks and, finer, from the scheduler's
// per-thread account; peak resident size).
//   bench_process PROGRAM headless|qt|wayland [idle-seconds] [start-stop-runs]
//   bench_process floor      the CPU cost of one timed 100 ms wake-up on this machine
// "headless": no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM; "qt": the Qt window on the offscreen platform;
// "wayland": as "qt", in the session of a private weston (headless, a US keyboard on its seat) with its
// XWayland, so the XTest sink types and the Wayland module reads the compositor's keymap. There the time from
// start to the first "typing for keyboard layout" line is measured too: the Wayland module's start-up.
// Each run gets a private XDG_RUNTIME_DIR so another running instance is never found. Figures are printed as
// "name value" lines.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_temp_dir.h"
#include "support/weston_server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kPortHex = ":1FA6 ";  // 8102 as /proc/net/udp writes a local port

void Figure(const std::string& name, double value) {
  std::printf("%s %.6g\n", name.c_str(), value);
  std::fflush(stdout);
}

// The whole of a small /proc file.
std::string ReadFile(const std::string& path) {
  std::string text;
  if (std::FILE* file = std::fopen(path.c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      text.append(buffer, n);
    }
    std::fclose(file);
  }
  return text;
}

// True while some socket is bound to UDP port 8102 on any address.
bool PortBound() {
  std::istringstream in(ReadFile("/proc/net/udp"));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot;
    std::string local;
    fields >> slot >> local;
    if ((local + " ").find(kPortHex) != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool WaitUntil(bool want, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (PortBound() != want) {
    if (Clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Waits, from a start at `start`, for the port to be bound and, when `lineMs` is given, for the line that
// names the layout keys are typed for to reach errorFile; either may come first. The times go to *boundMs and
// *lineMs (-1 when the line never came). False when the port was not bound.
bool WaitForStart(Clock::time_point start, const std::string& errorFile, double* boundMs, double* lineMs) {
  const auto since = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
  const auto end = start + std::chrono::seconds(30);
  const auto lineEnd = start + std::chrono::seconds(10);  // each source gives up within about a second
  *boundMs = -1;
  if (lineMs != nullptr) {
    *lineMs = -1;
  }
  while (*boundMs < 0 || (lineMs != nullptr && *lineMs < 0)) {
    if (*boundMs < 0 && PortBound()) {
      *boundMs = since();
    }
    if (lineMs != nullptr && *lineMs < 0 &&
        ReadFile(errorFile).find("strokerelayd: typing for keyboard layout") != std::string::npos) {
      *lineMs = since();
    }
    const auto now = Clock::now();
    if (now > end || (*boundMs >= 0 && now > lineEnd)) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return *boundMs >= 0;
}

// The display choice is the run's own, and the instance directory is private to it.
constexpr const char* kDropped[] = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR="};

std::vector<std::string> ChildEnvironment(const std::string& mode, const std::string& runtimeDir,
                                          const srd::test::WestonServer* weston) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const bool dropped = std::any_of(std::begin(kDropped), std::end(kDropped),
                                     [&](const char* name) { return entry.rfind(name, 0) == 0; });
    if (!dropped) {
      env.push_back(entry);
    }
  }
  env.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
  // The same window in both, so that what the Wayland session adds is the sink's and the layout's modules.
  if (mode == "qt" || mode == "wayland") {
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
  }
  if (weston != nullptr) {
    env.push_back("WAYLAND_DISPLAY=" + weston->WaylandDisplay());
    env.push_back("DISPLAY=" + weston->XDisplayName());
  }
  return env;
}

// Starts the program with its standard error going to errorFile (/dev/null when empty).
pid_t Spawn(const std::string& program, const std::vector<std::string>& env, const std::string& errorFile) {
  std::vector<char*> envp;
  for (const std::string& entry : env) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errorFile.empty() ? "/dev/null" : errorFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The program blocks its stop signals itself; start it with none blocked, as a shell would.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

// utime + stime of the process, in seconds.
double CpuSeconds(pid_t pid) {
  const std::string text = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = text.rfind(')');
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // After the command name: state is field 3; utime and stime are fields 14 and 15.
  for (int index = 3; index <= 15 && (fields >> field); ++index) {
    if (index == 14 || index == 15) {
      ticks += std::strtod(field.c_str(), nullptr);
    }
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU time of every thread of the process, in seconds, at nanosecond resolution (the scheduler's own
// account); -1 when the kernel keeps no such account.
double ScheduledSeconds(pid_t pid) {
  const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(taskDir.c_str());
  if (tasks == nullptr) {
    return -1;
  }
  double seconds = 0;
  bool any = false;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    const std::string text = ReadFile(taskDir + "/" + entry->d_name + "/schedstat");
    if (!text.empty()) {
      seconds += std::strtod(text.c_str(), nullptr) / 1e9;
      any = true;
    }
  }
  closedir(tasks);
  return any ? seconds : -1;
}

double StatusKb(pid_t pid, const char* key) {
  std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      return std::strtod(line.c_str() + std::strlen(key), nullptr);
    }
  }
  return -1;
}

// Shared objects mapped into the process: every distinct file of a name with ".so" in it, and the kernel's
// vDSO.
int SharedObjects(pid_t pid) {
  std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/maps"));
  std::vector<std::string> objects;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t name = line.find_first_of("/[");
    if (name == std::string::npos) {
      continue;
    }
    const std::string path = line.substr(name);
    if (path == "[vdso]" || (path[0] == '/' && path.find(".so") != std::string::npos)) {
      objects.push_back(path);
    }
  }
  std::sort(objects.begin(), objects.end());
  return static_cast<int>(std::unique(objects.begin(), objects.end()) - objects.begin());
}

// SIGTERM, then the time until the process has been reaped; the exit code goes to *code.
double Stop(pid_t pid, int* code) {
  const auto start = Clock::now();
  kill(pid, SIGTERM);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What a thread that only sleeps in 100 ms waits costs here: the floor under any receiver that wakes ten
// times a second. Measured on a thread of this process through the scheduler's account.
int WakeupFloor() {
  constexpr int kWakeups = 50;
  double cpuSeconds = 0;
  std::thread sleeper([&] {
    const std::string path = "/proc/self/task/" + std::to_string(gettid()) + "/schedstat";
    const double before = std::strtod(ReadFile(path).c_str(), nullptr);
    for (int i = 0; i < kWakeups; ++i) {
      poll(nullptr, 0, 100);
    }
    cpuSeconds = (std::strtod(ReadFile(path).c_str(), nullptr) - before) / 1e9;
  });
  sleeper.join();
  Figure("platform.timed_wakeup_us", 1e6 * cpuSeconds / kWakeups);
  Figure("platform.ten_per_second_percent", 100.0 * cpuSeconds / kWakeups * 10);
  return 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "floor") {
    return WakeupFloor();
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PROGRAM headless|qt|wayland [idle-seconds] [start-stop-runs]\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1];
  const std::string mode = argv[2];
  const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 30;
  const int runs = argc > 4 ? std::atoi(argv[4]) : 5;

  const srd::test::ScopedTempDir runtime("srd-bench");
  const std::string& runtimeDir = runtime.Path();
  if (runtimeDir.empty()) {
    std::fprintf(stderr, "bench_process: no temporary directory\n");
    return 1;
  }
  const bool wayland = mode == "wayland";
  srd::test::WestonServer weston;
  if (wayland && !weston.Start("us")) {
    std::fprintf(stderr, "bench_process: weston with XWayland did not come up\n");
    return 1;
  }
  const std::vector<std::string> env = ChildEnvironment(mode, runtimeDir, wayland ? &weston : nullptr);
  const std::string errorFile = wayland ? runtimeDir + "/stderr" : std::string();
  if (!WaitUntil(false, std::chrono::seconds(60))) {
    std::fprintf(stderr, "bench_process: UDP port 8102 stayed taken by another process\n");
    return 1;
  }

  std::vector<double> startMs;
  std::vector<double> stopMs;
  std::vector<double> layoutMs;
  int failures = 0;
  for (int run = 0; run <= runs; ++run) {
    const auto start = Clock::now();
    const pid_t pid = Spawn(program, env, errorFile);
    double boundMs = 0;
    double lineMs = 0;
    if (pid < 0 || !WaitForStart(start, errorFile, &boundMs, wayland ? &lineMs : nullptr)) {
      std::fprintf(stderr, "bench_process: the program did not bind its port\n");
      return 1;
    }
    const bool idleRun = run == runs;
    if (idleRun) {
      // A settled program: start-up work is done and, with the window, the text caret has stopped blinking
      // (10 s after the last input) before the idle window opens.
      std::this_thread::sleep_for(std::chrono::seconds(12));
      const double before = CpuSeconds(pid);
      const double scheduledBefore = ScheduledSeconds(pid);
      std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
      const double used = CpuSeconds(pid) - before;
      const double scheduled = ScheduledSeconds(pid) - scheduledBefore;
      Figure(mode + ".idle.seconds", idleSeconds);
      Figure(mode + ".idle.cpu_s", used);
      Figure(mode + ".idle.cpu_percent", 100.0 * used / idleSeconds);
      if (scheduledBefore >= 0) {
        Figure(mode + ".idle.scheduled_s", scheduled);
        Figure(mode + ".idle.scheduled_percent", 100.0 * scheduled / idleSeconds);
      }
      Figure(mode + ".idle.total_cpu_s", CpuSeconds(pid));
      Figure(mode + ".memory.vmhwm_kb", StatusKb(pid, "VmHWM:"));
      Figure(mode + ".memory.vmrss_kb", StatusKb(pid, "VmRSS:"));
      Figure(mode + ".memory.shared_objects", SharedObjects(pid));
      if (wayland) {  // which source the layout came from, for whoever reads the run's log
        std::fprintf(stderr, "bench_process: the program said:\n%s", ReadFile(errorFile).c_str());
      }
    } else {
      // Settle so the stop request meets a running message loop, not start-up; the odd part keeps the
      // request from landing at the same point of the worker's 100 ms wait every time.
      std::this_thread::sleep_for(std::chrono::milliseconds(300 + (run * 37) % 100));
    }
    int code = 0;
    const double stoppedMs = Stop(pid, &code);
    failures += code != 0 ? 1 : 0;
    if (!WaitUntil(false, std::chrono::seconds(10))) {
      ++failures;
    }
    if (run > 0 && !idleRun) {  // the first run warms the page cache
      startMs.push_back(boundMs);
      stopMs.push_back(stoppedMs);
      if (lineMs >= 0) {
        layoutMs.push_back(lineMs);
      }
    }
  }
  if (!startMs.empty()) {
    Figure(mode + ".start_to_bound.median_ms", Median(startMs));
    Figure(mode + ".start_to_bound.max_ms", *std::max_element(startMs.begin(), startMs.end()));
    Figure(mode + ".sigterm_to_exit.median_ms", Median(stopMs));
    Figure(mode + ".sigterm_to_exit.max_ms", *std::max_element(stopMs.begin(), stopMs.end()));
  }
  if (!layoutMs.empty()) {
    Figure(mode + ".start_to_layout_line.median_ms", Median(layoutMs));
    Figure(mode + ".start_to_layout_line.max_ms", *std::max_element(layoutMs.begin(), layoutMs.end()));
  }
  Figure(mode + ".failed_exits", failures);
  return failures == 0 ? 0 : 1;
}
