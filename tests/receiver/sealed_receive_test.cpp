// The receive loop in the paired mode, on real loopback sockets: only datagrams sealed with the receiver's
// key are typed, each once and in order, and the rest is counted in the refusal line.

#include "receiver/sealed_receive.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../support/captured_log.h"
#include "../support/loopback.h"
#include "../support/scoped_temp_dir.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"
#include "receiver/receiver_worker.h"
#include "seal/datagram_sealer.h"
#include "seal/paired_receiver.h"

namespace srd {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::WaitUntil;

// What the key sink was handed, "+41" for a press and "-41" for a release, and "*" where every held key
// was let go.
class TracingBackend final : public KeyBackend {
 public:
  void Inject(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags, std::uintptr_t) override {
    char text[8];
    std::snprintf(text, sizeof text, "%c%02x", flags == KEYEVENT_KEYUP ? '-' : '+', virtualKey);
    Add(text);
  }
  void ReleaseAll() override { Add("*"); }
  const char* Name() const override { return "tracing"; }
  std::string Trace() const {
    std::lock_guard lock(mutex_);
    return trace_;
  }

 private:
  void Add(const std::string& item) {
    std::lock_guard lock(mutex_);
    trace_ += trace_.empty() ? item : " " + item;
  }
  mutable std::mutex mutex_;
  std::string trace_;
};

class SealedReceiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(seal::StartSealing());
    InstallKeyBackend(&keys_);
    port_ = test::FindFreeUdpPort();
    Start();
  }
  void TearDown() override {
    Stop();
    InstallKeyBackend(nullptr);
  }
  // A receiver as a start makes it: the order read from its file, then the worker.
  void Start() {
    paired_ = std::make_unique<seal::PairedReceiver>(key_, directory_.Path() + "/sender-order");
    ASSERT_EQ(paired_->LoadOrder(), "");
    InstallPairedReceiver(paired_.get());
    state_ = std::make_unique<ReceiverState>();
    state_->port.store(port_);
    ASSERT_EQ(StartReceiver(*state_), 1);
    ASSERT_TRUE(WaitUntil([&] { return !test::UdpPortIsFree(port_); }, seconds(20)));
  }
  void Stop() {
    if (state_ && state_->worker) {
      state_->worker->Stop();
    }
    state_.reset();
    InstallPairedReceiver(nullptr);
    paired_.reset();
  }
  void Send(const std::string& bytes) { ASSERT_TRUE(socket_.SendTo(port_, bytes)); }
  // Sends a sealed press of a fresh probe key until it is typed: the worker is up and has typed all before.
  void Settle() {
    char text[8];
    std::snprintf(text, sizeof text, "?k%02x", probe_);
    const std::string mark = "+" + std::string(text + 2);
    ++probe_;
    Send(sender_.Seal(text));
    ASSERT_TRUE(WaitUntil([&] { return keys_.Trace().find(mark) != std::string::npos; }, seconds(20)));
  }

  seal::Key key_ = seal::NewKey();
  seal::DatagramSealer sender_{key_};
  test::ScopedTempDir directory_{"srd-sealed"};
  TracingBackend keys_;
  test::UdpSocket socket_;
  std::int32_t port_ = 0;
  std::uint8_t probe_ = 0xc0;
  std::unique_ptr<seal::PairedReceiver> paired_;
  std::unique_ptr<ReceiverState> state_;
};

// A sealed datagram sent three times is typed once. Plain text, another key's datagram, one with a changed
// byte and one cut short type nothing; the first refusal is said at once, the others in one later line.
TEST_F(SealedReceiveTest, TypesSealedDatagramsOnceAndRefusesAndCountsEverythingElse) {
  test::CapturedLog log;
  const std::string sealed = sender_.Seal("?k41u41");
  Send(sealed);
  Send(sealed);
  Send(sealed);
  Settle();
  EXPECT_EQ(keys_.Trace(), "+41 -41 +c0");

  seal::DatagramSealer stranger(seal::NewKey());
  std::string changed = sender_.Seal("?k42u42");
  changed[changed.size() - 20] ^= 1;
  const std::string cut = sender_.Seal("?k43u43");
  Send("?k44u44");
  Send(stranger.Seal("?k45u45"));
  Send(changed);
  Send(cut.substr(0, cut.size() - 1));
  Send("");
  Settle();
  // The changed and the cut datagrams used numbers of the order; the probe after them is a gap.
  EXPECT_EQ(keys_.Trace(), "+41 -41 +c0 * +c1");
  const std::string first =
      "strokerelayd: refused 1 datagrams from 127.0.0.1 (not sealed with this receiver's key)\r\n";
  const std::string later =
      "strokerelayd: refused 4 datagrams from 127.0.0.1 (not sealed with this receiver's key)\r\n";
  ASSERT_TRUE(WaitUntil([&] { return log.Count("strokerelayd: refused") == 2; }, seconds(20)));
  const auto lines = log.Snapshot();
  std::vector<std::string> refusals;
  std::vector<test::Clock::time_point> at;
  for (const auto& line : lines) {
    if (line.text.starts_with("strokerelayd: refused")) {
      refusals.push_back(line.text);
      at.push_back(line.at);
    }
  }
  EXPECT_EQ(refusals, (std::vector<std::string>{first, later}));
  EXPECT_GE(at[1] - at[0], REFUSAL_LINE_INTERVAL - milliseconds(200));
}

// What was typed before a stop is refused after the next start, and counted; the sender goes on in order.
TEST_F(SealedReceiveTest, AReplayAfterARestartTypesNothing) {
  const std::string recorded = sender_.Seal("?k41u41");
  Send(recorded);
  Settle();
  Stop();
  Start();
  test::CapturedLog log;
  Send(recorded);
  Settle();
  EXPECT_EQ(keys_.Trace(), "+41 -41 +c0 +c1");
  EXPECT_TRUE(WaitUntil([&] { return log.Count("strokerelayd: refused 1 datagrams from 127.0.0.1") == 1; },
                        seconds(20)));
}

// A window sender's held Shift whose release was lost for good is let go before the next datagram types.
TEST_F(SealedReceiveTest, KeysThatLostDatagramsLeftDownAreReleasedAtTheGap) {
  Send(sender_.Seal("?k10k41"));
  sender_.Seal("?u41u10");  // lost on the way
  Send(sender_.Seal("?k42u42"));
  Settle();
  EXPECT_EQ(keys_.Trace(), "+10 +41 * +42 -42 +c0");
}

}  // namespace
}  // namespace srd
