// The paired mode as a user meets it: strokerelayd --pair prints a code, strokesender seals with it, and the
// receiver, typing through XTest into a private Xvfb, types only what was sealed with its key.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../../support/udp_port.h"
#include "datagram_batch.h"
#include "support/key_observer.h"
#include "support/program_process.h"
#include "support/scoped_temp_dir.h"
#include "support/typed_text.h"
#include "support/wait_until.h"
#include "support/xvfb_server.h"
#include "text_encoding.h"

namespace srd {
namespace {

using std::chrono::seconds;

// Runs a program to its end with what it prints on standard output; the exit code through *exitCode.
std::string Output(const std::string& command, int* exitCode) {
  std::string output;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    *exitCode = -1;
    return output;
  }
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    output += buffer;
  }
  const int status = pclose(pipe);
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') {
    trimmed.pop_back();
  }
  const std::size_t newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

int RunSender(std::vector<std::string> arguments) {
  test::ProgramOptions options(STROKESENDER_PATH);
  options.arguments = std::move(arguments);
  return test::ProgramProcess::RunToEnd(options, std::chrono::minutes(2));
}

std::size_t EventsOf(const std::string& text) {
  std::size_t events = 0;
  for (const std::string& datagram : sender::EncodeText(text).datagrams) {
    events += sender::EventCount(datagram);
  }
  return events;
}

class PairedEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    // Both programs find their files under this test's own configuration directory.
    ASSERT_FALSE(config_.Path().empty());
    setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
    ASSERT_TRUE(xvfb_.Start());
    observer_ = std::make_unique<KeyObserver>(xvfb_.DisplayName());
    ASSERT_TRUE(observer_->Ready());
  }
  void TearDown() override {
    StopReceiver();
    unsetenv("XDG_CONFIG_HOME");
  }
  std::string Pair() {
    int exitCode = -1;
    const std::string output = Output(std::string(SRD_PROGRAM) + " --pair", &exitCode);
    EXPECT_EQ(exitCode, 0) << output;
    return LastLine(output);
  }
  void StartReceiver() {
    receiver_ = test::StartRelayOn(SRD_PROGRAM, xvfb_.DisplayName());
    ASSERT_NE(receiver_, nullptr) << "strokerelayd did not bind UDP 8102";
  }
  void StopReceiver() {
    if (receiver_ != nullptr) {
      receiver_->Signal(SIGTERM);
      EXPECT_EQ(receiver_->WaitExit(seconds(20)), 0) << receiver_->Stderr();
      receiver_.reset();
    }
  }
  // What the X server received for `text`'s events.
  std::string Typed(const std::string& text) {
    return Utf8Of(TypedText(observer_->Take(EventsOf(text)), *observer_));
  }

  test::ScopedTempDir config_{"srd-paired"};
  XvfbServer xvfb_;
  std::unique_ptr<KeyObserver> observer_;
  std::unique_ptr<test::ProgramProcess> receiver_;
};

TEST_F(PairedEndToEndTest, OnlyWhatIsSealedWithTheReceiversKeyIsTyped) {
  const std::string code = Pair();
  ASSERT_EQ(code.size(), 56u);
  EXPECT_EQ(Pair(), code);  // run again: the same key
  StartReceiver();
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        return receiver_->Stderr().find(
                   "strokerelayd: paired: only senders holding this receiver's key are "
                   "accepted") != std::string::npos;
      },
      seconds(20)))
      << receiver_->Stderr();

  const std::string text = "Sealed, typed: Hello, World! 12345 ~`'\"";
  ASSERT_EQ(RunSender({"--key", code, "-l", "us", "127.0.0.1", text}), 0);
  EXPECT_EQ(Typed(text), text);

  // A plain sender (its one datagram), a wrong code (refused before sending, exit 2) and a sealed --raw, then
  // a sealed marker: only the raw datagram's key and the marker arrive.
  ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", "plain"}), 0);
  std::string wrong = code;
  wrong[5] = wrong[5] == '7' ? '8' : '7';
  EXPECT_EQ(RunSender({"--key", wrong, "127.0.0.1", "wrong"}), 2);
  EXPECT_EQ(RunSender({"--key", code.substr(1), "127.0.0.1", "short"}), 2);
  ASSERT_EQ(RunSender({"--key", code, "127.0.0.1", "--raw", "k5au5a"}), 0);  // 'z'
  // Stored for the host, the code seals without --key.
  ASSERT_EQ(RunSender({"--pair", "127.0.0.1", code}), 0);
  struct stat info {};
  ASSERT_EQ(stat((config_.Path() + "/strokesender/keys").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", "stored"}), 0);
  EXPECT_EQ(Typed("zstored"), "zstored");
  EXPECT_TRUE(observer_->TakeFor(std::chrono::milliseconds(300)).empty());
  EXPECT_TRUE(test::WaitUntil(
      [&] {
        return receiver_->Stderr().find(
                   "strokerelayd: refused 1 datagrams from 127.0.0.1 (not sealed with this receiver's "
                   "key)") != std::string::npos;
      },
      seconds(20)))
      << receiver_->Stderr();
  EXPECT_TRUE(observer_->KeysDown().empty());
}

// A key file others could read stops the start with the reason; after --unpair the receiver is open again.
TEST_F(PairedEndToEndTest, AKeyFileOthersCanReadStopsTheStartAndUnpairingOpensTheReceiver) {
  Pair();
  const std::string key = config_.Path() + "/strokerelayd/key";
  ASSERT_EQ(chmod(key.c_str(), 0640), 0);
  test::ProgramOptions options(SRD_PROGRAM,
                               {{"DISPLAY", xvfb_.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}});
  test::ProgramProcess refused(options);
  EXPECT_EQ(refused.WaitExit(seconds(20)), 1);
  EXPECT_EQ(refused.Stderr(),
            "strokerelayd: not started: " + key +
                " can be read by others (mode 640; only its user may read or write it: chmod "
                "600)\n");
  EXPECT_TRUE(test::UdpPortIsFree(8102));

  int exitCode = -1;
  Output(std::string(SRD_PROGRAM) + " --unpair", &exitCode);
  EXPECT_EQ(exitCode, 0);
  StartReceiver();
  ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", "open"}), 0);
  EXPECT_EQ(Typed("open"), "open");
  EXPECT_EQ(receiver_->Stderr().find("paired"), std::string::npos);
}

}  // namespace
}  // namespace srd
