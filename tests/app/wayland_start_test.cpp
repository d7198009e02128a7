// The built program started in a Wayland session whose compositor, sway socket and session bus do not
// answer, or whose seat has no keyboard yet: start-up waits on them for about a second at most, SIGTERM ends
// it promptly at any moment, and the layout line says what it types for.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "../support/fake_compositor.h"
#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"
#include "../support/scripted_socket.h"
#include "../support/wait_until.h"
#include "../support/xvfb_server.h"

namespace srd {
namespace {

using namespace std::chrono_literals;
using test::Clock;

class WaylandStartTest : public ::testing::Test {
 protected:
  // Keys go through XTest into an X server of the test's own (the machine may have no uinput); the layout
  // still comes from the Wayland session.
  void SetUp() override { ASSERT_TRUE(x_.Start()); }
  // The program in a session whose compositor is at `wayland`, its window kept off it.
  std::unique_ptr<test::ProgramProcess> Start(const std::string& wayland) {
    const std::map<std::string, std::string> session = {
        {"WAYLAND_DISPLAY", wayland},    {"QT_QPA_PLATFORM", "offscreen"},
        {"SWAYSOCK", silent_.Path()},    {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + silent_.Path()},
        {"XDG_CURRENT_DESKTOP", "sway"}, {"DISPLAY", x_.DisplayName()}};
    return std::make_unique<test::ProgramProcess>(test::ProgramOptions{SRD_PROGRAM, session});
  }
  // Ends within a second of SIGTERM, and cleanly (a SIGTERM before the program's very first instructions
  // ends it as the signal does, with nothing yet to put back).
  static void EndsOnSigterm(test::ProgramProcess& program, bool early = false) {
    program.Signal(SIGTERM);
    const auto sent = Clock::now();
    const int code = program.WaitExit(10s);
    EXPECT_TRUE(code == 0 || (early && code == 128 + SIGTERM)) << code << program.Stderr();
    EXPECT_LT(Clock::now() - sent, 3s) << program.Stderr();
  }
  static bool Says(test::ProgramProcess& program, const std::string& line) {
    return test::WaitUntil([&] { return program.Stderr().find(line + "\n") != std::string::npos; }, 20s);
  }

  // Accepts and never speaks: a frozen sway, a frozen bus, a compositor that does not answer.
  XvfbServer x_;
  test::ScriptedSocket silent_{[](test::ScriptedSocket& socket, int, int) { socket.Silence(); }};
};

TEST_F(WaylandStartTest, SilentSurroundingsHoldTheStartForAboutASecondAtMost) {
  const auto started = Clock::now();
  auto program = Start(silent_.Path());
  EXPECT_TRUE(Says(*program, "the system's keyboard configuration: the compositor has not answered yet)"))
      << program->Stderr();
  EXPECT_LT(Clock::now() - started, 8s);  // Qt's start included: the surroundings' share is a second
  EndsOnSigterm(*program);
}

TEST_F(WaylandStartTest, SigtermDuringStartUpEndsItPromptly) {
  for (const auto delay : {0ms, 200ms, 600ms}) {
    SCOPED_TRACE(delay.count());
    auto program = Start(silent_.Path());
    std::this_thread::sleep_for(delay);
    EndsOnSigterm(*program, delay == 0ms);
  }
}

// A seat whose only keyboard is the one the program creates: the system's layout first, the compositor's
// as soon as the keyboard is there; the busy sway socket is given up within the limit and asked again.
TEST_F(WaylandStartTest, ASeatWithoutAKeyboardIsListenedToUntilOneComes) {
  test::FakeCompositor compositor;
  auto program = Start(compositor.SocketPath());
  ASSERT_TRUE(Says(*program, "(the system's keyboard configuration: the compositor's seat has no keyboard)"))
      << program->Stderr();
  compositor.AddKeyboard(test::KeymapTextOf("de"));
  EXPECT_TRUE(Says(*program, "strokerelayd: typing for keyboard layout de (compositor keymap)"))
      << program->Stderr();
  EndsOnSigterm(*program);
}

}  // namespace
}  // namespace srd
