#include "platform/sys/signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace srd {
namespace {

TEST(StopSignalsTest, BlockedStopSignalsAreReadFromTheDescriptorInsteadOfEndingTheProcess) {
  ASSERT_TRUE(BlockStopSignals());
  const int fd = OpenStopSignalFd();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadStopSignal(fd), 0);  // none pending
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGRTMIN, SIGRTMAX}) {
    ASSERT_EQ(raise(signal), 0);
    EXPECT_EQ(ReadStopSignal(fd), signal);
  }
  close(fd);
  EXPECT_TRUE(UnblockStopSignals());
  // A write to a reader that went away fails with its error instead of ending the process.
  ASSERT_TRUE(IgnoreWriteFailureSignals());
  EXPECT_EQ(raise(SIGPIPE), 0);
  EXPECT_EQ(raise(SIGXFSZ), 0);
}

}  // namespace
}  // namespace srd
