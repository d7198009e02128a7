#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One running instance per user and name, across processes. The authority is an flock on
// <directory>/<name>.lock (the kernel drops it even when the holder is killed); the holder listens on
// <directory>/<name>.sock for requests to come forward. The directory must be the user's own, writable by
// nobody else, and both ends of the socket check that the other runs as the same user.

namespace srd {

// $XDG_RUNTIME_DIR when set, else /tmp/strokerelayd-<uid> (created 0700). Empty, with *whyNot set to a phrase
// ("/tmp/strokerelayd-1000 belongs to user 1001, not to this user"), when it is unfit for the lock.
std::string DefaultInstanceDirectory(std::string* whyNot = nullptr);

// Empty when `directory` is a directory of this user that no other user can write to; else why it is not
// (a phrase that names it). Symbolic links are followed unless `followLinks` is false.
std::string InstanceDirectoryProblem(const std::string& directory, bool followLinks = true);

// A file-name-safe name for a (class, title) pair: "class@title", UTF-8, every byte other than [A-Za-z0-9._-]
// of either written as %XX.
std::string InstanceName(const std::string& first, const std::string& second);

// What the running instance did when asked to come forward.
enum class ComeForwardOutcome {
  Raised,     // its window came to the front
  NoWindow,   // it runs without a window
  NotRaised,  // it has a window, which the desktop would not let it raise
  NoAnswer,   // it did not answer (or no connection could be made)
};

class InstanceLock {
 public:
  enum class Result { Acquired, HeldElsewhere, Failed };

  // Takes the lock for `name` in `directory` without waiting. Failed: *whyNot says why, when given.
  static Result Acquire(const std::string& directory, const std::string& name,
                        std::unique_ptr<InstanceLock>* out, std::string* whyNot = nullptr);

  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // Stops serving, removes the socket (still holding the lock, so never another holder's) and unlocks.
  ~InstanceLock();
  // Stops serving and removes the socket, but keeps the lock: the instance is ending and must not be asked
  // to come forward any more, while a later start must wait until it has put back everything it changed.
  // Clients being read are dropped unanswered, which tells them so.
  void StopServing();

  // What serving the socket needs from the interface thread's loop: descriptors watched for reading, and what
  // a request to come forward does (given the activation token the asking start brought, or "").
  struct Service {
    std::function<bool(int fd, std::function<void()> onReadable)> watch;
    std::function<void(int fd)> unwatch;
    std::function<ComeForwardOutcome(const std::string& activationToken)> comeForward;
  };
  // Replaces any stale socket, listens, and from then on serves requests through `service`. Nothing here
  // ever waits for a client: each connection is read as its bytes arrive, a client of another user is
  // dropped at once, and a client that never writes only holds one of a few places until later ones push it
  // out. False when the socket cannot be made.
  bool Serve(Service service);

 private:
  struct Client {
    int fd;
    std::string received;
  };

  InstanceLock(std::string socketPath, int lockFd) : socketPath_(std::move(socketPath)), lockFd_(lockFd) {}
  void AcceptPending();
  void ReadFrom(int fd);
  // Answers a request line other than the presence question.
  void Answer(int fd, const std::string& line);
  void Drop(int fd);

  std::string socketPath_;
  int lockFd_ = -1;
  int listenFd_ = -1;
  Service service_;
  std::vector<Client> clients_;  // oldest first
};

// The asking side: a connection to the instance that holds the lock.
class InstanceConnection {
 public:
  enum class Result { Connected, OtherUser, NoAnswer };

  // Connects to the holder of `name`, retrying while it does not listen yet, for at most timeoutMs (0: one
  // try). OtherUser: the socket is served by a process of another user (*peerUid), to which nothing is sent.
  static Result Connect(const std::string& directory, const std::string& name, int timeoutMs,
                        std::unique_ptr<InstanceConnection>* out, uid_t* peerUid);

  InstanceConnection(const InstanceConnection&) = delete;
  InstanceConnection& operator=(const InstanceConnection&) = delete;
  ~InstanceConnection();

  // The process that serves the socket.
  pid_t Pid() const { return pid_; }
  // Whether the holder still serves: Serving when it answers, Ending when it closes the connection
  // unanswered (it is ending and keeps the lock only until it has put things back), NoAnswer when it says
  // nothing within timeoutMs.
  enum class Presence { Serving, Ending, NoAnswer };
  Presence AskPresence(int timeoutMs);
  // Asks it to come forward, handing over `activationToken` (dropped unless it is printable ASCII without
  // spaces, as desktops make them); waits for the answer for at most timeoutMs.
  ComeForwardOutcome AskToComeForward(const std::string& activationToken, int timeoutMs);

 private:
  InstanceConnection(int fd, pid_t pid) : fd_(fd), pid_(pid) {}

  int fd_;
  pid_t pid_;
};

}  // namespace srd
