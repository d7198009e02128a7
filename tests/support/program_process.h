#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/scoped_temp_dir.h"

namespace srd::test {

// How to start a program under test.
struct ProgramOptions {
  explicit ProgramOptions(std::string program, std::map<std::string, std::string> variables = {},
                          std::string runtime = {})
      : path(std::move(program)), environment(std::move(variables)), runtimeDir(std::move(runtime)) {}

  std::string path;                    // the executable
  std::vector<std::string> arguments;  // after the program's name
  // Variables set (an empty value: unset) over the test's own environment, after the defaults below.
  std::map<std::string, std::string> environment;
  // The runtime directory (instance lock and socket); empty: a private one, so no other running instance is
  // found. Processes that are to meet each other are given the same one.
  std::string runtimeDir;
  // Standard error onto this descriptor (a pipe the test holds, say) instead of the file Stderr() reads; -1:
  // that file.
  int stderrFd = -1;
};

// A program as a child process: no display unless the test sets one, standard input from /dev/null, standard
// error into a file the test reads, and the stop signals unblocked as a shell leaves them. Killed if the test
// ends with it still running.
class ProgramProcess {
 public:
  explicit ProgramProcess(const ProgramOptions& options);
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // True while the process has not ended (it is reaped here if it has).
  bool Running();
  std::string Stderr() const;
  // Bytes queued on the process's sockets bound to `port`, as the kernel lists them in /proc/net/udp; empty
  // when the process holds no socket there.
  std::optional<std::uint32_t> QueuedBytes(std::uint16_t port) const;
  // Waits until the process holds a socket on `port`; false when it did not within `limit`.
  bool WaitBound(std::uint16_t port, std::chrono::milliseconds limit) const;
  // VmRSS in kB, or -1.
  long ResidentKb() const;
  void Signal(int signal) const;
  // Waits for the end; the exit code (128 + signal for a signal) or -1 when the limit passed.
  int WaitExit(std::chrono::milliseconds limit);

  // Runs a program to its end: its exit code, or -1 when it did not start or end within `limit` (it is
  // killed then).
  static int RunToEnd(const ProgramOptions& options, std::chrono::milliseconds limit);

 private:
  std::vector<std::uint64_t> SocketInodes() const;

  pid_t pid_ = -1;
  int exitCode_ = -1;
  int stderrFd_ = -1;
  ScopedTempDir privateRuntimeDir_{"srd-run"};
};

// strokerelayd (`program`) typing through XTest into the X server `display`, its window on Qt's offscreen
// platform out of the way, once it has bound the default port; nullptr when it did not within a generous
// time.
std::unique_ptr<ProgramProcess> StartRelayOn(const std::string& program, const std::string& display);

}  // namespace srd::test
