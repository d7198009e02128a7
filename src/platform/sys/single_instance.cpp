#include "platform/sys/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace srd {
namespace {

// A request is one line: the word, then the activation token if there is one. A start may first ask whether
// the holder still serves ("here?"), which it answers with "here" on the same connection.
constexpr char kRequest[] = "come-forward";
constexpr char kPresenceRequest[] = "here?";
constexpr char kPresenceAnswer[] = "here\n";
constexpr std::size_t kMaxRequest = 512;
constexpr std::size_t kMaxToken = 256;
// Clients being read at once; a further one pushes out the oldest.
constexpr std::size_t kMaxClients = 8;

struct AnswerWord {
  ComeForwardOutcome outcome;
  const char* line;
};
constexpr AnswerWord kAnswers[] = {
    {ComeForwardOutcome::Raised, "raised\n"},
    {ComeForwardOutcome::NoWindow, "no-window\n"},
    {ComeForwardOutcome::NotRaised, "not-raised\n"},
};

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) {
    return false;
  }
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool PeerOf(int fd, ucred* credentials) {
  socklen_t size = sizeof *credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, credentials, &size) == 0;
}

bool TokenIsPlain(const std::string& token) {
  return token.size() <= kMaxToken &&
         std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

}  // namespace

std::string InstanceDirectoryProblem(const std::string& directory, bool followLinks) {
  struct stat info {};
  if ((followLinks ? stat(directory.c_str(), &info) : lstat(directory.c_str(), &info)) != 0) {
    return directory + " cannot be examined (" + std::strerror(errno) + ")";
  }
  if (!S_ISDIR(info.st_mode)) {
    return directory + " is not a directory";
  }
  if (info.st_uid != getuid()) {
    return directory + " belongs to user " + std::to_string(info.st_uid) + ", not to this user (" +
           std::to_string(getuid()) + ")";
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return directory + " can be written by users other than its owner";
  }
  return std::string();
}

std::string DefaultInstanceDirectory(std::string* whyNot) {
  std::string problem;
  std::string directory;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    directory = runtime;
    problem = InstanceDirectoryProblem(directory);
  } else {
    directory = "/tmp/strokerelayd-" + std::to_string(getuid());
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
      problem = directory + " cannot be made (" + std::strerror(errno) + ")";
    } else {
      // Not followed: a symbolic link planted there by someone else is refused like any foreign directory.
      problem = InstanceDirectoryProblem(directory, false);
    }
  }
  if (!problem.empty()) {
    if (whyNot != nullptr) {
      *whyNot = problem;
    }
    return std::string();
  }
  return directory;
}

std::string InstanceName(const std::string& first, const std::string& second) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto escape = [](const std::string& part) {
    std::string out;
    for (const char c : part) {
      const auto u = static_cast<unsigned char>(c);
      if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
          u == '_' || u == '-') {
        out += c;
      } else {
        out += '%';
        out += kHex[u >> 4];
        out += kHex[u & 0xF];
      }
    }
    return out;
  };
  return escape(first) + "@" + escape(second);
}

InstanceLock::Result InstanceLock::Acquire(const std::string& directory, const std::string& name,
                                           std::unique_ptr<InstanceLock>* out, std::string* whyNot) {
  const auto fail = [whyNot](std::string why) {
    if (whyNot != nullptr) {
      *whyNot = std::move(why);
    }
    return Result::Failed;
  };
  if (directory.empty() || name.empty()) {
    return fail("there is no directory for the lock");
  }
  const std::string base = directory + "/" + name;
  const int fd = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    return fail(base + ".lock cannot be opened (" + std::strerror(errno) + ")");
  }
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) {
      continue;
    }
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) {
      return Result::HeldElsewhere;
    }
    return fail(base + ".lock cannot be locked (" + std::strerror(error) + ")");
  }
  out->reset(new InstanceLock(base + ".sock", fd));
  return Result::Acquired;
}

InstanceLock::~InstanceLock() {
  StopServing();
  if (lockFd_ >= 0) {
    close(lockFd_);  // releases the flock
  }
}

void InstanceLock::StopServing() {
  while (!clients_.empty()) {
    Drop(clients_.front().fd);
  }
  if (listenFd_ >= 0) {
    if (service_.unwatch) {
      service_.unwatch(listenFd_);
    }
    close(listenFd_);
    unlink(socketPath_.c_str());
    listenFd_ = -1;
  }
}

bool InstanceLock::Serve(Service service) {
  if (listenFd_ >= 0) {
    return false;
  }
  sockaddr_un address{};
  if (!FillAddress(socketPath_, &address)) {
    return false;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  // We hold the lock, so a socket file there is a stale one of an earlier holder.
  unlink(socketPath_.c_str());
  // The directory is the user's own already; the mode and the peer checks are a second fence.
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(socketPath_.c_str(), 0600) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return false;
  }
  listenFd_ = fd;
  service_ = std::move(service);
  if (!service_.watch(listenFd_, [this] { AcceptPending(); })) {
    close(listenFd_);
    unlink(socketPath_.c_str());
    listenFd_ = -1;
    return false;
  }
  return true;
}

void InstanceLock::AcceptPending() {
  for (;;) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      return;  // nothing more pending (or a client that went again)
    }
    ucred peer{};
    if (!PeerOf(fd, &peer) || peer.uid != getuid()) {
      close(fd);
      continue;
    }
    if (clients_.size() >= kMaxClients) {
      Drop(clients_.front().fd);
    }
    clients_.push_back(Client{fd, std::string()});
    if (!service_.watch(fd, [this, fd] { ReadFrom(fd); })) {
      Drop(fd);
    }
  }
}

void InstanceLock::ReadFrom(int fd) {
  auto client = std::find_if(clients_.begin(), clients_.end(), [fd](const Client& c) { return c.fd == fd; });
  if (client == clients_.end()) {
    return;
  }
  char buffer[256];
  const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
    return;
  }
  if (n <= 0) {
    Drop(fd);
    return;
  }
  client->received.append(buffer, static_cast<std::size_t>(n));
  for (;;) {
    const std::size_t end = client->received.find('\n');
    if (end == std::string::npos) {
      if (client->received.size() > kMaxRequest) {
        Drop(fd);
      }
      return;
    }
    const std::string line = client->received.substr(0, end);
    client->received.erase(0, end + 1);
    if (line != kPresenceRequest) {
      Answer(fd, line);
      Drop(fd);
      return;
    }
    // A fresh connection's buffer takes a short line at once; a client that cannot take it loses it.
    (void)!send(fd, kPresenceAnswer, std::strlen(kPresenceAnswer), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
}

void InstanceLock::Answer(int fd, const std::string& line) {
  const std::size_t space = line.find(' ');
  const std::string word = line.substr(0, space);
  const std::string token = space == std::string::npos ? std::string() : line.substr(space + 1);
  if (word == kRequest && TokenIsPlain(token)) {
    const ComeForwardOutcome outcome = service_.comeForward(token);
    for (const AnswerWord& answer : kAnswers) {
      if (answer.outcome == outcome) {
        (void)!send(fd, answer.line, std::strlen(answer.line), MSG_DONTWAIT | MSG_NOSIGNAL);
      }
    }
  }
}

void InstanceLock::Drop(int fd) {
  auto client = std::find_if(clients_.begin(), clients_.end(), [fd](const Client& c) { return c.fd == fd; });
  if (client == clients_.end()) {
    return;
  }
  service_.unwatch(fd);
  close(fd);
  clients_.erase(client);
}

InstanceConnection::Result InstanceConnection::Connect(const std::string& directory, const std::string& name,
                                                       int timeoutMs,
                                                       std::unique_ptr<InstanceConnection>* out,
                                                       uid_t* peerUid) {
  sockaddr_un address{};
  if (directory.empty() || !FillAddress(directory + "/" + name + ".sock", &address)) {
    return Result::NoAnswer;
  }
  const long long deadline = NowMs() + timeoutMs;
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return Result::NoAnswer;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      ucred peer{};
      if (!PeerOf(fd, &peer)) {
        close(fd);
        return Result::NoAnswer;
      }
      if (peer.uid != getuid()) {
        *peerUid = peer.uid;
        close(fd);
        return Result::OtherUser;
      }
      out->reset(new InstanceConnection(fd, peer.pid));
      return Result::Connected;
    }
    close(fd);
    if (NowMs() >= deadline) {
      return Result::NoAnswer;
    }
    // The holder has the lock but is not listening yet (or has just gone): try again shortly.
    poll(nullptr, 0, 20);
  }
}

InstanceConnection::~InstanceConnection() {
  close(fd_);
}

namespace {

// Sends all of `text`; false when the connection failed.
bool SendAll(int fd, const std::string& text) {
  for (std::size_t sent = 0; sent < text.size();) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads one answer line (with its line end) within timeoutMs: the line, "" when the connection ended
// unanswered, or nullopt when nothing complete came in time.
std::optional<std::string> ReadAnswer(int fd, int timeoutMs) {
  std::string answer;
  const long long deadline = NowMs() + timeoutMs;
  while (answer.find('\n') == std::string::npos && answer.size() < 64) {
    const long long left = deadline - NowMs();
    pollfd p{fd, POLLIN, 0};
    const int r = left > 0 ? poll(&p, 1, static_cast<int>(left)) : 0;
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r <= 0) {
      return std::nullopt;
    }
    // One byte at a time: what follows the line belongs to the next answer.
    char c = 0;
    const ssize_t n = recv(fd, &c, 1, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return std::string();
    }
    answer += c;
  }
  return answer;
}

}  // namespace

InstanceConnection::Presence InstanceConnection::AskPresence(int timeoutMs) {
  if (!SendAll(fd_, std::string(kPresenceRequest) + "\n")) {
    return Presence::Ending;
  }
  const std::optional<std::string> answer = ReadAnswer(fd_, timeoutMs);
  if (!answer) {
    return Presence::NoAnswer;
  }
  return *answer == kPresenceAnswer ? Presence::Serving : Presence::Ending;
}

ComeForwardOutcome InstanceConnection::AskToComeForward(const std::string& activationToken, int timeoutMs) {
  std::string request = kRequest;
  if (!activationToken.empty() && TokenIsPlain(activationToken)) {
    request += " " + activationToken;
  }
  request += "\n";
  if (!SendAll(fd_, request)) {
    return ComeForwardOutcome::NoAnswer;
  }
  const std::optional<std::string> answer = ReadAnswer(fd_, timeoutMs);
  for (const AnswerWord& known : kAnswers) {
    if (answer && *answer == known.line) {
      return known.outcome;
    }
  }
  return ComeForwardOutcome::NoAnswer;
}

}  // namespace srd
