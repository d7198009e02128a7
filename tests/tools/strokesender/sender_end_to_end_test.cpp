// Two programs as a user runs them: strokesender typing at a running strokerelayd, whose keys reach a real X
// server through XTest. A separate X client watches the key events arrive at the server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/keys/key_observer.h"
#include "platform/keys/xvfb_server.h"

#include "../../support/udp_port.h"

namespace srd {
namespace {

// Runs a program to its end with the environment given; its exit code, or -1.
int RunProgram(const std::vector<std::string>& arguments) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// X keycodes (Linux key code + 8 on the evdev keymap) of the US keys that "Hello, World!" needs.
constexpr int kShift = 50;
struct UsKey {
  char c;
  bool shift;
  int keycode;
};
constexpr UsKey kKeys[] = {{'H', true, 43},  {'e', false, 26}, {'l', false, 46}, {'o', false, 32},
                           {',', false, 59}, {' ', false, 65}, {'W', true, 25},  {'r', false, 27},
                           {'d', false, 40}, {'!', true, 10}};

std::vector<KeyEvent> Typed(const std::string& text) {
  std::vector<KeyEvent> events;
  for (char c : text) {
    for (const UsKey& k : kKeys) {
      if (k.c != c) {
        continue;
      }
      if (k.shift) {
        events.emplace_back(kShift, true);
      }
      events.emplace_back(k.keycode, true);
      events.emplace_back(k.keycode, false);
      if (k.shift) {
        events.emplace_back(kShift, false);
      }
    }
  }
  return events;
}

class SenderEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_TRUE(xvfb_.Start());
    char pattern[] = "/tmp/srd-e2e-XXXXXX";
    runtime_ = mkdtemp(pattern);
    receiver_ = fork();
    if (receiver_ == 0) {
      setenv("DISPLAY", xvfb_.DisplayName().c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the window is not what this test looks at
      setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      execl(SRD_PROGRAM, SRD_PROGRAM, static_cast<char*>(nullptr));
      _exit(127);
    }
    // Ready once the port is bound.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (test::UdpPortIsFree(8102) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(test::UdpPortIsFree(8102)) << "strokerelayd did not bind UDP 8102";
    observer_ = std::make_unique<KeyObserver>(xvfb_.DisplayName());
    ASSERT_TRUE(observer_->Ready());
  }

  void TearDown() override {
    observer_.reset();
    if (receiver_ > 0) {
      kill(receiver_, SIGTERM);
      int status = 0;
      waitpid(receiver_, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "strokerelayd did not end with 0";
    }
    if (!runtime_.empty()) {
      std::system(("rm -rf " + runtime_).c_str());
    }
  }

  XvfbServer xvfb_;
  std::string runtime_;
  pid_t receiver_ = -1;
  std::unique_ptr<KeyObserver> observer_;
};

TEST_F(SenderEndToEndTest, TextArrivesAsExactlyItsKeysInOrder) {
  const std::string text = "Hello, World!";
  const std::vector<KeyEvent> expected = Typed(text);
  ASSERT_EQ(RunProgram({STROKESENDER_PATH, "127.0.0.1", text}), 0);
  EXPECT_EQ(observer_->Take(expected.size()), expected);
  EXPECT_TRUE(observer_->KeysDown().empty());
}

TEST_F(SenderEndToEndTest, RawCommandsReachTheDecoderUnchanged) {
  ASSERT_EQ(RunProgram({STROKESENDER_PATH, "127.0.0.1", "--raw", "K041U041"}), 0);
  ASSERT_EQ(RunProgram({STROKESENDER_PATH, "127.0.0.1", "--raw", "?k0dk10u10u0d"}), 0);
  const std::vector<KeyEvent> expected = {{38, true}, {38, false}, {36, true},
                                          {50, true}, {50, false}, {36, false}};
  EXPECT_EQ(observer_->Take(expected.size()), expected);
}

}  // namespace
}  // namespace srd
