#include "fault_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace srd::faults {

namespace {

std::string ReadWhole(const std::string& path) {
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

sockaddr_in Address(std::uint32_t host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(host);
  return address;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::vector<UdpSocketInfo> UdpSockets() {
  std::vector<UdpSocketInfo> sockets;
  std::istringstream in(ReadWhole("/proc/net/udp"));
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode, ref, pointer,
        drops;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode >>
        ref >> pointer >> drops;
    UdpSocketInfo info;
    const std::size_t colon = local.find(':');
    const std::size_t queueColon = queues.find(':');
    if (colon == std::string::npos || queueColon == std::string::npos) {
      continue;
    }
    info.localPort = static_cast<std::uint16_t>(std::strtoul(local.c_str() + colon + 1, nullptr, 16));
    info.rxQueueBytes =
        static_cast<std::uint32_t>(std::strtoul(queues.c_str() + queueColon + 1, nullptr, 16));
    info.inode = std::strtoull(inode.c_str(), nullptr, 10);
    info.drops = std::strtoull(drops.c_str(), nullptr, 10);
    sockets.push_back(info);
  }
  return sockets;
}

bool UdpPortBound(std::uint16_t port) {
  const std::vector<UdpSocketInfo> sockets = UdpSockets();
  return std::any_of(sockets.begin(), sockets.end(),
                     [&](const UdpSocketInfo& s) { return s.localPort == port; });
}

std::uint16_t FreeUdpPort() {
  for (;;) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = Address(INADDR_ANY, 0);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    const std::uint16_t port = ntohs(address.sin_port);
    if (port != 8102) {
      return port;
    }
  }
}

UdpSocket::UdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

UdpSocket::~UdpSocket() {
  Close();
}

bool UdpSocket::Bind(std::uint16_t port) {
  const sockaddr_in address = Address(INADDR_ANY, port);
  return bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool UdpSocket::SendTo(std::uint16_t port, const void* bytes, std::size_t size) const {
  const sockaddr_in address = Address(INADDR_LOOPBACK, port);
  return sendto(fd_, bytes, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
         static_cast<ssize_t>(size);
}

void UdpSocket::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

std::string RandomDatagrams::Next() {
  std::uniform_int_distribution<int> length(0, 1500);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(static_cast<std::size_t>(length(engine_)), '\0');
  for (char& c : bytes) {
    c = static_cast<char>(byte(engine_));
  }
  return bytes;
}

const char* ProgramPath() {
  return SRD_PROGRAM_PATH;
}

ProgramProcess::ProgramProcess(std::map<std::string, std::string> environment) {
  char dirTemplate[] = "/tmp/srd-faults-XXXXXX";
  if (mkdtemp(dirTemplate) == nullptr) {
    return;
  }
  runtimeDir_ = dirTemplate;
  char stderrTemplate[] = "/tmp/srd-faults-stderr-XXXXXX";
  stderrFd_ = mkstemp(stderrTemplate);
  unlink(stderrTemplate);

  // The display choice is each test's own.
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    merged[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
  }
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    merged.erase(name);
  }
  merged["XDG_RUNTIME_DIR"] = runtimeDir_;
  // In a sanitizer build, leaks of the libraries under Qt are theirs, not the program's.
  merged.try_emplace("LSAN_OPTIONS", std::string("suppressions=") + SRD_FAULTS_LSAN_SUPPRESSIONS);
  for (const auto& [name, value] : environment) {
    merged[name] = value;
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : merged) {
    entries.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& entry : entries) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, stderrFd_, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::string path = ProgramPath();
  char* argv[] = {path.data(), nullptr};
  if (posix_spawn(&pid_, path.c_str(), &actions, &attributes, argv, envp.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
}

ProgramProcess::~ProgramProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitExit(std::chrono::seconds(10));
  }
  if (stderrFd_ >= 0) {
    close(stderrFd_);
  }
  if (!runtimeDir_.empty()) {
    // The program removes what it made there; anything left is removed with the directory.
    const std::string command = "rm -rf '" + runtimeDir_ + "'";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "could not remove %s\n", runtimeDir_.c_str());
    }
  }
}

bool ProgramProcess::Running() {
  if (pid_ <= 0 || exitCode_ != -1) {
    return false;
  }
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return done == 0;
}

std::string ProgramProcess::Stderr() const {
  std::string out;
  char buffer[4096];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = pread(stderrFd_, buffer, sizeof buffer, offset);
    if (n <= 0) {
      break;
    }
    out.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  return out;
}

std::vector<std::uint64_t> ProgramProcess::SocketInodes() const {
  std::vector<std::uint64_t> inodes;
  const std::string dir = "/proc/" + std::to_string(pid_) + "/fd";
  DIR* handle = opendir(dir.c_str());
  if (handle == nullptr) {
    return inodes;
  }
  while (dirent* entry = readdir(handle)) {
    char target[256] = {};
    const std::string link = dir + "/" + entry->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) > 0 && std::strncmp(target, "socket:[", 8) == 0) {
      inodes.push_back(std::strtoull(target + 8, nullptr, 10));
    }
  }
  closedir(handle);
  return inodes;
}

bool ProgramProcess::OwnsUdpPort(std::uint16_t port) const {
  const std::vector<std::uint64_t> mine = SocketInodes();
  for (const UdpSocketInfo& socket : UdpSockets()) {
    if (socket.localPort == port && std::find(mine.begin(), mine.end(), socket.inode) != mine.end()) {
      return true;
    }
  }
  return false;
}

std::uint32_t ProgramProcess::RxQueueBytes(std::uint16_t port) const {
  const std::vector<std::uint64_t> mine = SocketInodes();
  std::uint32_t queued = 0;
  for (const UdpSocketInfo& socket : UdpSockets()) {
    if (socket.localPort == port && std::find(mine.begin(), mine.end(), socket.inode) != mine.end()) {
      queued += socket.rxQueueBytes;
    }
  }
  return queued;
}

long ProgramProcess::ResidentKb() const {
  std::istringstream in(ReadWhole("/proc/" + std::to_string(pid_) + "/status"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return -1;
}

void ProgramProcess::Signal(int signal) const {
  if (pid_ > 0) {
    kill(pid_, signal);
  }
}

int ProgramProcess::WaitExit(std::chrono::milliseconds limit) {
  WaitFor([this] { return !Running(); }, limit);
  return exitCode_;
}

}  // namespace srd::faults
