#include "platform/sys/single_instance.h"
#include "support/scoped_temp_dir.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace srd {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(directory_.empty()); }
  test::ScopedTempDir scoped_{"srd-instance"};
  const std::string& directory_ = scoped_.Path();
};

TEST_F(SingleInstanceTest, NamesKeepClassAndTitleApartAndOnlyOneHolderAtATime) {
  EXPECT_EQ(InstanceName("strokeRELAYd", "strokerelayd"), "strokeRELAYd@strokerelayd");
  EXPECT_NE(InstanceName("a@b", "c"), InstanceName("a", "b@c"));
  EXPECT_EQ(InstanceName("x/y", ".."), "x%2Fy@..");
  std::unique_ptr<InstanceLock> first;
  std::unique_ptr<InstanceLock> second;
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &first), InstanceLock::Result::Acquired);
  EXPECT_EQ(InstanceLock::Acquire(directory_, "n", &second), InstanceLock::Result::HeldElsewhere);
  EXPECT_EQ(InstanceLock::Acquire(directory_, "other", &second), InstanceLock::Result::Acquired);
  second.reset();
  first.reset();
  EXPECT_EQ(InstanceLock::Acquire(directory_, "n", &second), InstanceLock::Result::Acquired);
  EXPECT_EQ(InstanceLock::Acquire("", "n", &first), InstanceLock::Result::Failed);
}

// Serves a lock on the test's own loop, as the window layer does on the interface thread.
class ServedLock {
 public:
  explicit ServedLock(std::unique_ptr<InstanceLock> lock) : lock_(std::move(lock)) {
    lock_->Serve(InstanceLock::Service{[this](int fd, std::function<void()> onReadable) {
                                         watched_[fd] = std::move(onReadable);
                                         return true;
                                       },
                                       [this](int fd) { watched_.erase(fd); },
                                       [this](const std::string& token) {
                                         tokens.push_back(token);
                                         return ComeForwardOutcome::NotRaised;
                                       }});
  }
  // One pass: runs the callbacks of the descriptors that are readable within timeoutMs.
  void RunOnce(int timeoutMs) {
    std::vector<pollfd> fds;
    for (const auto& [fd, callback] : watched_) {
      fds.push_back(pollfd{fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), timeoutMs) <= 0) {
      return;
    }
    for (const pollfd& p : fds) {
      if (p.revents != 0 && watched_.count(p.fd) != 0) {
        auto callback = watched_[p.fd];
        callback();
      }
    }
  }
  std::size_t Watched() const { return watched_.size(); }
  InstanceLock& Lock() { return *lock_; }
  std::vector<std::string> tokens;

 private:
  std::map<int, std::function<void()>> watched_;
  std::unique_ptr<InstanceLock> lock_;  // goes first: it unwatches its descriptors
};

TEST_F(SingleInstanceTest, AStaleSocketAndLockFileOfACrashedHolderNeverBlockAStart) {
  // A killed holder leaves both files behind: a socket nobody listens on, and the lock file.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<InstanceLock> lock;
    if (InstanceLock::Acquire(directory_, "n", &lock) != InstanceLock::Result::Acquired) {
      _exit(1);
    }
    ServedLock served(std::move(lock));
    pause();
    _exit(0);
  }
  const std::string socketPath = directory_ + "/n.sock";
  struct stat info {};
  for (int i = 0; i < 500 && stat(socketPath.c_str(), &info) != 0; ++i) {
    usleep(10000);
  }
  ASSERT_EQ(stat(socketPath.c_str(), &info), 0);
  std::unique_ptr<InstanceLock> lock;
  EXPECT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::HeldElsewhere);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(stat(socketPath.c_str(), &info), 0);  // left behind

  std::unique_ptr<InstanceConnection> connection;
  uid_t peer = 0;
  // Nobody answers, within the limit.
  EXPECT_EQ(InstanceConnection::Connect(directory_, "n", 100, &connection, &peer),
            InstanceConnection::Result::NoAnswer);
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::Acquired);
  ServedLock served(std::move(lock));
  ComeForwardOutcome outcome = ComeForwardOutcome::NoAnswer;
  std::thread asker([&] {
    if (InstanceConnection::Connect(directory_, "n", 5000, &connection, &peer) ==
        InstanceConnection::Result::Connected) {
      // A token with a space or a control character is no token a desktop makes: it is not passed on.
      outcome = connection->AskToComeForward("bad token\x01", 5000);
    }
  });
  while (served.tokens.empty()) {
    served.RunOnce(10000);
  }
  asker.join();
  EXPECT_EQ(outcome, ComeForwardOutcome::NotRaised);
  EXPECT_EQ(served.tokens, std::vector<std::string>{""});
}

// Requests other than come-forward, overlong lines and clients that never write are dropped without waiting
// for them; the oldest silent client makes room for a new one.
TEST_F(SingleInstanceTest, OtherRequestsAndSilentClientsAreDroppedWithoutWaiting) {
  std::unique_ptr<InstanceLock> lock;
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::Acquired);
  ServedLock served(std::move(lock));
  const auto connectRaw = [&] {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = directory_ + "/n.sock";
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
  };
  std::vector<int> clients;
  for (int i = 0; i < 20; ++i) {
    clients.push_back(connectRaw());
    served.RunOnce(0);
  }
  EXPECT_LE(served.Watched(), 1u + 8u);  // the listening socket and the newest silent clients
  const int other = connectRaw();
  ASSERT_EQ(write(other, "raise-me-now\n", 13), 13);
  const int overlong = connectRaw();
  const std::string flood(4096, 'x');
  ASSERT_EQ(write(overlong, flood.data(), flood.size()), static_cast<ssize_t>(flood.size()));
  // Each is closed without an answer.
  for (int fd : {other, overlong}) {
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; i < 100 && poll(&p, 1, 0) == 0; ++i) {
      served.RunOnce(100);
    }
    char byte = 0;
    const ssize_t got = recv(fd, &byte, 1, MSG_DONTWAIT);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET));  // the end, or a reset for the unread rest
  }
  EXPECT_TRUE(served.tokens.empty());
  for (int fd : clients) {
    close(fd);
  }
  close(other);
  close(overlong);
}

// A holder tells a start that it serves before it is asked to come forward; once it stops serving (it is
// ending) it keeps the lock, answers nobody, and drops a connection it had accepted unanswered, which the
// start reads as an instance that is ending, not one that came forward.
TEST_F(SingleInstanceTest, AnEndingHolderKeepsTheLockAndAnswersNoMore) {
  std::unique_ptr<InstanceLock> lock;
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::Acquired);
  ServedLock served(std::move(lock));
  std::unique_ptr<InstanceConnection> connection;
  uid_t peer = 0;
  InstanceConnection::Presence presence = InstanceConnection::Presence::NoAnswer;
  ComeForwardOutcome outcome = ComeForwardOutcome::NoAnswer;
  std::thread asker([&] {
    ASSERT_EQ(InstanceConnection::Connect(directory_, "n", 5000, &connection, &peer),
              InstanceConnection::Result::Connected);
    presence = connection->AskPresence(5000);
    outcome = connection->AskToComeForward("", 5000);
  });
  while (served.tokens.empty()) {
    served.RunOnce(10000);
  }
  asker.join();
  EXPECT_EQ(presence, InstanceConnection::Presence::Serving);
  EXPECT_EQ(outcome, ComeForwardOutcome::NotRaised);

  // A connection accepted before the holder stops serving, asked after.
  ASSERT_EQ(InstanceConnection::Connect(directory_, "n", 5000, &connection, &peer),
            InstanceConnection::Result::Connected);
  served.RunOnce(100);  // accepted
  served.Lock().StopServing();
  EXPECT_EQ(connection->AskPresence(5000), InstanceConnection::Presence::Ending);
  EXPECT_EQ(InstanceConnection::Connect(directory_, "n", 0, &connection, &peer),
            InstanceConnection::Result::NoAnswer);
  EXPECT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::HeldElsewhere);
  EXPECT_EQ(served.Watched(), 0u);
  EXPECT_EQ(served.tokens.size(), 1u);
}

TEST(InstanceDirectoryTest, IsXdgRuntimeDirOrAPrivateDirectoryOfTheUser) {
  const char* saved = getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved != nullptr ? saved : "";
  const test::ScopedTempDir runtime("srd-runtime");
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  EXPECT_EQ(DefaultInstanceDirectory(), runtime.Path());
  unsetenv("XDG_RUNTIME_DIR");
  const std::string directory = DefaultInstanceDirectory();
  ASSERT_FALSE(directory.empty());
  struct stat info {};
  ASSERT_EQ(lstat(directory.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, getuid());
  if (saved != nullptr) {
    setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
  }
}

// A directory that another user owns or that others can write to keeps the rule from being kept: the lock
// there proves nothing, and the reason names the directory.
TEST_F(SingleInstanceTest, ADirectoryOfAnotherUserOrWritableByOthersIsRefusedWithItsReason) {
  EXPECT_EQ(InstanceDirectoryProblem(directory_), "");
  const std::string shared = directory_ + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);  // as /tmp is
  EXPECT_EQ(InstanceDirectoryProblem(shared), shared + " can be written by users other than its owner");
  const char* saved = getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("XDG_RUNTIME_DIR", shared.c_str(), 1);
  std::string why;
  EXPECT_EQ(DefaultInstanceDirectory(&why), "");
  EXPECT_EQ(why, shared + " can be written by users other than its owner");
  if (getuid() == 0) {  // as CI runs: a directory given to another user
    ASSERT_EQ(chmod(shared.c_str(), 0700), 0);
    ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
    EXPECT_EQ(InstanceDirectoryProblem(shared), shared + " belongs to user 65534, not to this user (0)");
  }
  if (saved != nullptr) {
    setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace
}  // namespace srd
