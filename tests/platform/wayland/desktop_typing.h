#pragma once

// What the tests of the desktops' own ways of typing share: strokerelayd started as the desktop's user with
// no uinput device, strokesender typing at it, and the text a terminal in the session got.

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../support/udp_port.h"
#include "support/program_process.h"
#include "support/scoped_temp_dir.h"
#include "support/terminal_recorder.h"
#include "support/test_user.h"
#include "support/wait_until.h"

namespace srd::test {

// strokerelayd as `user`, its window on Qt's offscreen platform (so the terminal keeps the focus), in a
// runtime directory of the user's, once it has bound the port; nullptr with the reason in *why otherwise.
inline std::unique_ptr<ProgramProcess> StartRelayAs(const TestUser& user, const ScopedTempDir& runtime,
                                                    std::map<std::string, std::string> environment,
                                                    std::string* why) {
  if (runtime.Path().empty() || !GiveTo(user, runtime.Path()) || chmod(runtime.Path().c_str(), 0700) != 0) {
    *why = "no runtime directory";
    return nullptr;
  }
  const std::vector<std::string> command = AsUser(user, {SRD_PROGRAM});
  environment["QT_QPA_PLATFORM"] = "offscreen";
  environment["HOME"] = runtime.Path();
  ProgramOptions options(command.front(), std::move(environment), runtime.Path());
  options.arguments.assign(command.begin() + 1, command.end());
  auto relay = std::make_unique<ProgramProcess>(options);
  if (!relay->Started() || !relay->WaitBound(8102, std::chrono::seconds(30))) {
    *why = "strokerelayd did not bind the port: " + relay->Stderr();
    return nullptr;
  }
  return relay;
}

inline int RunSender(std::vector<std::string> arguments) {
  ProgramOptions options(STROKESENDER_PATH);
  options.arguments = std::move(arguments);
  return ProgramProcess::RunToEnd(options, std::chrono::minutes(2));
}

// Waits until the terminal got at least `expected`'s length; what it got then.
inline std::string TextOnceThere(const TerminalRecorder& terminal, const std::string& expected,
                                 std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  WaitUntil([&] { return terminal.Text().size() >= expected.size(); }, limit, std::chrono::milliseconds(20));
  return terminal.Text();
}

// Marks the terminal's text once the keys typed so far have all come (nothing new for two seconds: a busy
// compositor may hand a key on that late).
inline void MarkOnceSettled(TerminalRecorder& terminal) {
  std::string last = terminal.Text();
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::string now = terminal.Text();
    if (now == last) {
      break;
    }
    last = std::move(now);
  }
  terminal.Mark();
}

// Whether strokerelayd said `line` (Qt's offscreen platform may add lines of its own).
inline bool Said(const ProgramProcess& relay, const std::string& line) {
  return relay.Stderr().find(line + "\n") != std::string::npos;
}

// Shift and A held when strokerelayd is killed: the route lets them go with the process, so A is not
// repeated and a new start types without Shift. `startRelay` starts strokerelayd in the runtime directory.
inline void ExpectKeysHeldAtAKillLetGo(
    TerminalRecorder& terminal,
    const std::function<std::unique_ptr<ProgramProcess>(ScopedTempDir&)>& startRelay) {
  using namespace std::chrono_literals;
  {
    ScopedTempDir runtime("srd-relay");
    auto relay = startRelay(runtime);
    ASSERT_NE(relay, nullptr);
    // Shift and A, Return; then Shift down and held.
    ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "K010K041U041U010K00DU00D"}), 0);
    EXPECT_EQ(TextOnceThere(terminal, "A\n", 10s), "A\n") << relay->Stderr();
    terminal.Mark();
    // Shift and A held, then the kill before the terminal's repeat would begin (600 ms).
    ASSERT_EQ(RunSender({"127.0.0.1", "--raw", "K010K041"}), 0);
    WaitUntil([] { return false; }, 200ms);
    relay->Signal(SIGKILL);
    ASSERT_EQ(relay->WaitExit(20s), 128 + SIGKILL);
  }
  WaitUntil([] { return false; }, 2s);  // long enough for a key left down to repeat
  ScopedTempDir runtime("srd-relay");
  auto relay = startRelay(runtime);
  ASSERT_NE(relay, nullptr);
  ASSERT_EQ(RunSender({"-l", "us", "127.0.0.1", "abc\n"}), 0);
  // The held A once, then small letters: nothing repeated, nothing left down.
  EXPECT_EQ(TextOnceThere(terminal, "Aabc\n", 10s), "Aabc\n") << relay->Stderr();
}

}  // namespace srd::test
