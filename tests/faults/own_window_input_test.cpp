// Whatever is typed into the program's own window, by a sender or by the person at the machine, leaves it
// running: the window on a real X server, keys through the real receive path and the program's XTest sink,
// pointer clicks through XTest from the test, with and without another client owning the clipboard.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../support/key_observer.h"
#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"
#include "../support/xvfb_server.h"
#include "x_pointer.h"

namespace srd::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr std::uint16_t kPort = 8102;

class OwnWindowInput : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "Xvfb is not installed";
    }
    ASSERT_TRUE(WaitUntil([] { return UdpPortIsFree(kPort); }, seconds(60)))
        << "UDP port 8102 is held by another process";
    ASSERT_TRUE(server_.Start());
  }
  // Another X client owns CLIPBOARD and PRIMARY with some text, as after a copy in another program.
  void OwnClipboard() {
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "xclip is not installed";
    }
    const std::string file = scratch_.Path() + "/text";
    std::ofstream(file) << "pasted text\n";
    for (const char* selection : {"clipboard", "primary"}) {
      const std::string command = "DISPLAY=" + server_.DisplayName() + " xclip -selection " + selection +
                                  " -i " + file + " >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
    }
  }
  // The program on the test server, bound to its port, with a click into its test box; nullptr (and a
  // failure) when it never got there.
  std::unique_ptr<ProgramProcess> StartFocusedOnTestBox() {
    auto program = std::make_unique<ProgramProcess>(
        ProgramOptions{SRD_PROGRAM_PATH, {{"DISPLAY", server_.DisplayName()}, {"QT_QPA_PLATFORM", "xcb"}}});
    if (!program->WaitBound(kPort, seconds(20))) {
      ADD_FAILURE() << "never bound UDP 8102:\n" << program->Stderr();
      return nullptr;
    }
    pointer_ = std::make_unique<Pointer>(server_.DisplayName());
    if (!pointer_->FindWindow()) {
      ADD_FAILURE() << "its window never appeared";
      return nullptr;
    }
    pointer_->Click(1, 0.5, 0.8);
    return program;
  }
  void Send(ProgramProcess& program, const std::string& datagram) {
    ASSERT_TRUE(sender_.SendTo(kPort, datagram));
    ASSERT_TRUE(WaitUntil([&] { return program.QueuedBytes(kPort) == 0u; }, seconds(20)));
    std::this_thread::sleep_for(milliseconds(100));  // room for the window to handle what arrived
  }

  XvfbServer server_;
  std::unique_ptr<Pointer> pointer_;
  ScopedTempDir scratch_{"srd-own-window"};
  UdpSocket sender_;
};

// Every way of putting text or commands into the test box, the panel and its dialogs: the process stays up,
// still injects, and ends with 0 on SIGTERM.
TEST_P(OwnWindowInput, EveryWayOfInputLeavesItRunning) {
  if (GetParam()) {
    OwnClipboard();
  }
  std::unique_ptr<ProgramProcess> started = StartFocusedOnTestBox();
  ASSERT_NE(started, nullptr);
  ProgramProcess& program = *started;

  struct Step {
    const char* what;
    const char* datagram;  // empty: a pointer action
    unsigned button;
  };
  const Step steps[] = {
      {"typing", "?k48u48k49u49", 0},
      {"Ctrl+V", "?k11k56u56u11", 0},
      {"Shift+Insert", "?k10k2Du2Du10", 0},
      {"middle click", "", 2},
      {"select all, cut", "?k11k41u41k58u58u11", 0},
      {"undo, redo", "?k11k5Au5Ak59u59u11", 0},
      {"paste after cut", "?k11k56u56u11", 0},
      {"context menu by the Menu key, Escape", "?k5Du5Dk1Bu1B", 0},
      {"context menu by right click", "", 3},
      {"its first action by Enter", "?k28u28k0Du0D", 0},
      {"context menu, each action", "?k5Du5Dk28u28k28u28k0Du0D", 0},
      {"Alt+letter", "?k12k53u53u12k12k41u41u12", 0},
      {"Enter", "?k0Du0D", 0},
      {"Escape", "?k1Bu1B", 0},
  };
  for (const Step& step : steps) {
    if (step.datagram[0] != '\0') {
      Send(program, step.datagram);
    } else {
      pointer_->Click(step.button, 0.5, 0.8);
      std::this_thread::sleep_for(milliseconds(200));
    }
    ASSERT_TRUE(program.Running()) << "ended after " << step.what << ":\n" << program.Stderr();
  }
  Send(program, "?k1Bu1B");  // any menu still open goes

  KeyObserver observer(server_.DisplayName());
  ASSERT_TRUE(observer.Ready());
  Send(program, "?k48u48");
  const std::vector<KeyEvent> seen = observer.Take(2);
  EXPECT_EQ(seen, (std::vector<KeyEvent>{{35 + 8, true}, {35 + 8, false}}));

  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitExit(seconds(20)), 0) << program.Stderr();
}

INSTANTIATE_TEST_SUITE_P(ClipboardOwner, OwnWindowInput, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "OwnedElsewhere" : "NoOwner"; });

// About 20 s of random key commands, modifiers and the Alt chords included, into the focused test box. Keys
// that would move the focus out of the box or end the program on purpose (Tab, Enter, Escape, Alt) stay out.
TEST_F(OwnWindowInput, RandomKeysIntoTheTestBoxLeaveItRunningAndTyping) {
  OwnClipboard();
  std::unique_ptr<ProgramProcess> started = StartFocusedOnTestBox();
  ASSERT_NE(started, nullptr);
  ProgramProcess& program = *started;

  const std::uint8_t keys[] = {0x08, 0x10, 0x11, 0x14, 0x19, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
                               0x28, 0x2D, 0x2E, 0x30, 0x35, 0x39, 0x41, 0x43, 0x56, 0x58, 0x59, 0x5A, 0x5D,
                               0xA0, 0xA1, 0xA2, 0xA3, 0xBA, 0xBC, 0xBE, 0xC0, 0xDB, 0xE2, 0xF3};
  std::mt19937 random(20261207);
  const auto end = Clock::now() + seconds(20);
  while (Clock::now() < end) {
    std::string datagram = "?";
    const int commands = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < commands; ++i) {
      const std::uint8_t key = keys[random() % std::size(keys)];
      char text[8];
      std::snprintf(text, sizeof text, "%c%02x", random() % 2 != 0 ? 'k' : 'u', key);
      datagram += text;
    }
    if (random() % 10 == 0) {
      datagram += "k11k56u56u11";  // a paste now and then
    }
    ASSERT_TRUE(sender_.SendTo(kPort, datagram));
    std::this_thread::sleep_for(milliseconds(5));
    ASSERT_TRUE(program.Running()) << "ended after " << datagram << ":\n" << program.Stderr();
  }
  // Everything released, any menu closed; then a known sequence still arrives exactly.
  Send(program, "?u10u11u12ua0ua1ua2ua3k1Bu1B");
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_TRUE(program.Running()) << program.Stderr();
  KeyObserver observer(server_.DisplayName());
  ASSERT_TRUE(observer.Ready());
  Send(program, "?k48u48k49u49");
  EXPECT_EQ(observer.Take(4),
            (std::vector<KeyEvent>{{35 + 8, true}, {35 + 8, false}, {23 + 8, true}, {23 + 8, false}}));
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitExit(seconds(20)), 0) << program.Stderr();
}

// Four senders at full rate into the focused test box (a flood once kept the window busy for a minute and
// SIGTERM waiting 59 s): afterwards the window still answers and SIGTERM ends the program well within the
// bound.
TEST_F(OwnWindowInput, AFloodIntoTheTestBoxLeavesSigtermPrompt) {
  std::unique_ptr<ProgramProcess> started = StartFocusedOnTestBox();
  ASSERT_NE(started, nullptr);
  ProgramProcess& program = *started;
  std::string letters = "?";
  for (int i = 0; i < 150; ++i) {
    char command[16];
    std::snprintf(command, sizeof command, "k%02xu%02x", 0x41 + i % 26, 0x41 + i % 26);
    letters += command;
  }
  {
    std::vector<std::unique_ptr<Flood>> floods;
    for (int i = 0; i < 4; ++i) {
      floods.push_back(std::make_unique<Flood>(kPort, letters));
    }
    std::this_thread::sleep_for(seconds(8));
  }
  ASSERT_TRUE(program.Running()) << program.Stderr();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitExit(seconds(10)), 0) << program.Stderr();
}

}  // namespace
}  // namespace srd::test
