// What the worker tells the interface thread, and the user once, while its port cannot be opened.
#include <atomic>
#include <string>

#include "../support/stderr_capture.h"
#include "../support/udp_port.h"
#include "receiver_worker_fixture.h"

namespace srd {
namespace {

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The bind fails while another program holds the port: the flag is set with the code and the port, the
// interface thread is told once and standard error says why once, however many retries fail; the diagnostic
// line of each retry stays as it is. Once the port is free, the retry binds it, the flag clears and the
// interface thread is told again.
TEST_F(ReceiverWorkerTest, APortInUseIsReportedOnceAndClearedWhenTheRetryBinds) {
  test::StderrCapture captured;
  CapturedLog log;
  std::atomic<int> told{0};
  state_.listeningChanged = [&told] { ++told; };
  const std::int32_t busyPort = FindFreeUdpPort();
  auto holder = std::make_unique<UdpSocket>();
  ASSERT_TRUE(holder->Bind(busyPort));

  StartOn(busyPort);
  ASSERT_TRUE(WaitUntil([&] { return state_.worker->TestFlags(WORKER_NOT_LISTENING) != 0; }));
  EXPECT_EQ(state_.openFailure.load(), 10048);
  EXPECT_EQ(state_.openFailurePort.load(), busyPort);
  // Two retries later (about 2 s apart): still one notice.
  ASSERT_TRUE(WaitUntil([&] { return log.Count("skIO:ERROR bind") >= 3; }, seconds(20)));
  EXPECT_EQ(log.Count(kBindInUse), log.Total());
  EXPECT_EQ(told.load(), 1);
  const std::string notice =
      "strokerelayd: not listening on UDP port " + std::to_string(busyPort) + ": in use by another program\n";
  EXPECT_EQ(Occurrences(captured.Text(), notice), 1u) << captured.Text();

  holder.reset();
  ASSERT_TRUE(WaitUntil([&] { return state_.worker->TestFlags(WORKER_NOT_LISTENING) == 0; }, seconds(20)));
  EXPECT_EQ(told.load(), 2);
  EXPECT_TRUE(Reaches(busyPort));

  // A later failure on another port is news again.
  UdpSocket second;
  const std::int32_t secondPort = FindFreeUdpPort();
  ASSERT_TRUE(second.Bind(secondPort));
  ChangePort(secondPort);
  ASSERT_TRUE(WaitUntil([&] { return told.load() == 3; }));
  EXPECT_EQ(state_.openFailurePort.load(), secondPort);
  EXPECT_EQ(Occurrences(captured.Text(), "strokerelayd: not listening on UDP port"), 2u);
  ExpectStopsPromptly();
  EXPECT_EQ(told.load(), 3);
}

}  // namespace
}  // namespace srd
