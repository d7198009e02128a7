#pragma once

#include <memory>
#include <string>

// One running instance per user and name, across processes. The authority is an flock on
// <directory>/<name>.lock (the kernel drops it even when the holder is killed); the holder listens on
// <directory>/<name>.sock for requests to come forward. The directory is private to the user (mode 0700,
// owned by the user) and connections from other users are refused by their credentials as well.

namespace srd {

// $XDG_RUNTIME_DIR when set, else /tmp/strokerelayd-<uid> (created 0700; refused when it is not a directory
// owned by the user with no access for others). Empty on failure.
std::string DefaultInstanceDirectory();

// A file-name-safe name for a (class, title) pair: "class@title", UTF-8, every byte other than [A-Za-z0-9._-]
// of either written as %XX.
std::string InstanceName(const std::string& first, const std::string& second);

class InstanceLock {
 public:
  enum class Result { Acquired, HeldElsewhere, Failed };

  // Takes the lock for `name` in `directory` without waiting.
  static Result Acquire(const std::string& directory, const std::string& name,
                        std::unique_ptr<InstanceLock>* out);

  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // Stops listening, removes the socket (still holding the lock, so never another holder's) and unlocks.
  ~InstanceLock();

  // Replaces any stale socket and listens. The descriptor is non-blocking; -1 on failure.
  int Listen();
  int ListenFd() const { return listenFd_; }
  // Takes one pending connection. True when it came from this user and asked to come forward; the caller
  // then brings its window forward and calls nothing else. Never blocks for long (1 s at most per client).
  bool AcceptComeForwardRequest();

 private:
  InstanceLock(std::string socketPath, int lockFd) : socketPath_(std::move(socketPath)), lockFd_(lockFd) {}

  std::string socketPath_;
  int lockFd_ = -1;
  int listenFd_ = -1;
};

// Asks the holder of `name` to bring its window forward. Retries while the holder is not listening yet, for
// at most timeoutMs. True when the holder accepted the request.
bool AskInstanceToComeForward(const std::string& directory, const std::string& name, int timeoutMs);

}  // namespace srd
