#include "program_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "wait_until.h"

extern char** environ;

namespace srd::test {

ProgramProcess::ProgramProcess(const ProgramOptions& options) {
  const std::string& runtimeDir = options.runtimeDir.empty() ? privateRuntimeDir_.Path() : options.runtimeDir;
  if (runtimeDir.empty()) {
    return;
  }
  char stderrTemplate[] = "/tmp/srd-stderr-XXXXXX";
  stderrFd_ = ::mkstemp(stderrTemplate);
  ::unlink(stderrTemplate);

  // The display choice is each test's own. In a sanitizer build, leaks of the libraries under Qt are theirs.
  std::map<std::string, std::string> settings = {
      {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}, {"XDG_RUNTIME_DIR", runtimeDir}};
  if (std::getenv("LSAN_OPTIONS") == nullptr) {
    settings["LSAN_OPTIONS"] = std::string("suppressions=") + SRD_TEST_LSAN_SUPPRESSIONS;
  }
  for (const auto& [name, value] : options.environment) {
    settings[name] = value;
  }
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (!settings.contains(text.substr(0, text.find('=')))) {
      entries.push_back(text);
    }
  }
  for (const auto& [name, value] : settings) {
    if (!value.empty()) {
      entries.push_back(name + "=" + value);
    }
  }
  std::vector<char*> envp;
  for (std::string& entry : entries) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, options.stderrFd >= 0 ? options.stderrFd : stderrFd_, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::vector<std::string> words = {options.path};
  words.insert(words.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, words[0].c_str(), &actions, &attributes, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
}

ProgramProcess::~ProgramProcess() {
  if (Running()) {
    ::kill(pid_, SIGKILL);
    WaitExit(std::chrono::seconds(10));
  }
  if (stderrFd_ >= 0) {
    ::close(stderrFd_);
  }
}

bool ProgramProcess::Running() {
  if (pid_ <= 0 || exitCode_ != -1) {
    return false;
  }
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return done == 0;
}

std::string ProgramProcess::Stderr() const {
  std::string out;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::pread(stderrFd_, buffer, sizeof buffer, static_cast<off_t>(out.size()))) > 0) {
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::vector<std::uint64_t> ProgramProcess::SocketInodes() const {
  std::vector<std::uint64_t> inodes;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.starts_with("socket:[")) {
      inodes.push_back(std::strtoull(target.c_str() + 8, nullptr, 10));
    }
  }
  return inodes;
}

std::optional<std::uint32_t> ProgramProcess::QueuedBytes(std::uint16_t port) const {
  const std::vector<std::uint64_t> mine = SocketInodes();
  std::optional<std::uint32_t> queued;
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the heading
  while (std::getline(table, line)) {
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ...
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    std::uint64_t inode = 0;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    const std::size_t colon = local.find(':');
    const std::size_t queueColon = queues.find(':');
    if (colon == std::string::npos || queueColon == std::string::npos ||
        std::strtoul(local.c_str() + colon + 1, nullptr, 16) != port ||
        std::find(mine.begin(), mine.end(), inode) == mine.end()) {
      continue;
    }
    queued = queued.value_or(0) +
             static_cast<std::uint32_t>(std::strtoul(queues.c_str() + queueColon + 1, nullptr, 16));
  }
  return queued;
}

long ProgramProcess::ResidentKb() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return -1;
}

void ProgramProcess::Signal(int signal) const {
  if (pid_ > 0) {
    ::kill(pid_, signal);
  }
}

int ProgramProcess::WaitExit(std::chrono::milliseconds limit) {
  WaitUntil([this] { return !Running(); }, limit);
  return exitCode_;
}

bool ProgramProcess::WaitBound(std::uint16_t port, std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return QueuedBytes(port).has_value(); }, limit);
}

std::unique_ptr<ProgramProcess> StartRelayOn(const std::string& program, const std::string& display) {
  auto relay = std::make_unique<ProgramProcess>(
      ProgramOptions(program, {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "offscreen"}}));
  if (!relay->Started() || !relay->WaitBound(8102, std::chrono::seconds(30))) {
    return nullptr;
  }
  return relay;
}

int ProgramProcess::RunToEnd(const ProgramOptions& options, std::chrono::milliseconds limit) {
  ProgramProcess process(options);
  return process.Started() ? process.WaitExit(limit) : -1;
}

}  // namespace srd::test
