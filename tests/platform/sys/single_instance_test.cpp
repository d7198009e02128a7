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

#include <filesystem>
#include <string>
#include <thread>

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

TEST_F(SingleInstanceTest, AStaleSocketAndLockFileOfACrashedHolderNeverBlockAStart) {
  // A killed holder leaves both files behind: a socket nobody listens on, and the lock file.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<InstanceLock> lock;
    if (InstanceLock::Acquire(directory_, "n", &lock) != InstanceLock::Result::Acquired ||
        lock->Listen() < 0) {
      _exit(1);
    }
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

  EXPECT_FALSE(AskInstanceToComeForward(directory_, "n", 100));  // nobody answers, within the limit
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::Acquired);
  ASSERT_GE(lock->Listen(), 0);
  std::thread holder([&] {
    pollfd p{lock->ListenFd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    EXPECT_TRUE(lock->AcceptComeForwardRequest());
  });
  EXPECT_TRUE(AskInstanceToComeForward(directory_, "n", 5000));
  holder.join();
}

TEST_F(SingleInstanceTest, ARequestOtherThanComeForwardIsRefused) {
  std::unique_ptr<InstanceLock> lock;
  ASSERT_EQ(InstanceLock::Acquire(directory_, "n", &lock), InstanceLock::Result::Acquired);
  ASSERT_GE(lock->Listen(), 0);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = directory_ + "/n.sock";
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(write(fd, "raise-me-now\n", 13), 13);
  EXPECT_FALSE(lock->AcceptComeForwardRequest());
  close(fd);
}

TEST(InstanceDirectoryTest, IsXdgRuntimeDirOrAPrivateDirectoryOfTheUser) {
  const char* saved = getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/somewhere", 1);
  EXPECT_EQ(DefaultInstanceDirectory(), "/run/somewhere");
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

}  // namespace
}  // namespace srd
