// The built program, run as a user would run it: no display, a runtime directory of its own.

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../support/loopback.h"
#include "../support/program_process.h"
#include "../support/scoped_temp_dir.h"
#include "../support/xvfb_server.h"

namespace {

using namespace std::chrono_literals;
using srd::test::ProgramOptions;
using srd::test::ProgramProcess;
using srd::test::UdpPortIsFree;
using srd::test::WaitUntil;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UdpPortIsFree(8102)) {
      GTEST_SKIP() << "UDP port 8102 is in use by another program";
    }
    ASSERT_FALSE(runtime_.Path().empty());
  }
  // Every start of a test shares one runtime directory, as two starts by one user would.
  std::unique_ptr<ProgramProcess> Start() {
    return std::make_unique<ProgramProcess>(ProgramOptions{SRD_PROGRAM, {}, runtime_.Path()});
  }
  srd::test::ScopedTempDir runtime_{"srd-run"};
};

// Started without a display, the program receives real datagrams on UDP 8102; a second start ends with 0
// and leaves the first, and its port, alone; SIGTERM ends it with 0 and frees the port.
TEST_F(ProgramTest, RunsWithoutADisplayOnceAndEndsOnSigtermFreeingThePort) {
  auto first = Start();
  ASSERT_TRUE(first->Started());
  ASSERT_TRUE(WaitUntil([] { return !UdpPortIsFree(8102); }, 20s)) << "never bound UDP 8102";

  // A real datagram on the port; the program logs nothing on success and keeps running.
  srd::test::UdpSocket sender;
  ASSERT_TRUE(sender.SendTo(8102, "?k41u41"));

  auto second = Start();
  ASSERT_TRUE(second->Started());
  EXPECT_EQ(second->WaitExit(20s), 0);
  EXPECT_EQ(second->Stderr(), "strokerelayd: already running (process " + std::to_string(first->Pid()) +
                                  "), without a window.\n");
  EXPECT_TRUE(first->Running());
  EXPECT_FALSE(UdpPortIsFree(8102));

  first->Signal(SIGTERM);
  EXPECT_EQ(first->WaitExit(20s), 0);
  EXPECT_TRUE(UdpPortIsFree(8102));
}

// Of two starts at the same moment exactly one ends on its own, with 0; the other runs until a stop signal.
TEST_F(ProgramTest, TwoStartsAtTheSameMomentNeverBothRun) {
  auto a = Start();
  auto b = Start();
  ASSERT_TRUE(a->Started());
  ASSERT_TRUE(b->Started());
  ASSERT_TRUE(WaitUntil([&] { return !a->Running() || !b->Running(); }, 20s));
  ProgramProcess& ended = a->Running() ? *b : *a;
  ProgramProcess& running = a->Running() ? *a : *b;
  EXPECT_EQ(ended.WaitExit(20s), 0);
  EXPECT_TRUE(WaitUntil([] { return !UdpPortIsFree(8102); }, 20s));
  EXPECT_TRUE(running.Running());
  running.Signal(SIGINT);
  EXPECT_EQ(running.WaitExit(20s), 0);
  EXPECT_TRUE(UdpPortIsFree(8102));
}

// On a display, a second start says that the running window came to the front (an X window manager raises on
// request); the activation token it was started with travels along (the window layer's tests see it arrive).
TEST_F(ProgramTest, ASecondStartOnADisplaySaysTheWindowCameToTheFront) {
#ifndef SRD_HAVE_QT
  GTEST_SKIP() << "built without the window module";
#endif
  srd::XvfbServer server;
  ASSERT_TRUE(server.Start());
  const std::map<std::string, std::string> display = {{"DISPLAY", server.DisplayName()},
                                                      {"QT_QPA_PLATFORM", "xcb"}};
  ProgramProcess first(ProgramOptions{SRD_PROGRAM, display, runtime_.Path()});
  ASSERT_TRUE(first.WaitBound(8102, 20s)) << first.Stderr();
  auto withToken = display;
  withToken["XDG_ACTIVATION_TOKEN"] = "token-from-the-desktop";
  ProgramProcess second(ProgramOptions{SRD_PROGRAM, withToken, runtime_.Path()});
  EXPECT_EQ(second.WaitExit(20s), 0);
  EXPECT_EQ(second.Stderr(), "strokerelayd: already running (process " + std::to_string(first.Pid()) +
                                 "); its window was brought to the front.\n");
  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(20s), 0);
}

// On a Wayland compositor without window activation (weston has none) the running window cannot be raised
// by another process, and a second start says so.
TEST_F(ProgramTest, ASecondStartOnACompositorWithoutActivationSaysTheWindowCouldNotBeRaised) {
#ifndef SRD_HAVE_QT
  GTEST_SKIP() << "built without the window module";
#endif
  if (std::system("command -v weston >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "weston is not installed";
  }
  const std::string socket = runtime_.Path() + "/wayland-srd";
  ProgramOptions compositor("/bin/sh", {}, runtime_.Path());
  compositor.arguments = {"-c",
                          "exec weston --backend=headless-backend.so --socket=wayland-srd --idle-time=0"};
  ProgramProcess weston(compositor);
  ASSERT_TRUE(WaitUntil([&] { return access(socket.c_str(), F_OK) == 0; }, 20s)) << weston.Stderr();
  const std::map<std::string, std::string> display = {{"WAYLAND_DISPLAY", "wayland-srd"},
                                                      {"QT_QPA_PLATFORM", "wayland"},
                                                      {"XDG_ACTIVATION_TOKEN", "token-from-the-desktop"}};
  ProgramProcess first(ProgramOptions{SRD_PROGRAM, display, runtime_.Path()});
  ASSERT_TRUE(first.WaitBound(8102, 20s)) << first.Stderr();
  ProgramProcess second(ProgramOptions{SRD_PROGRAM, display, runtime_.Path()});
  EXPECT_EQ(second.WaitExit(20s), 0);
  EXPECT_EQ(second.Stderr(), "strokerelayd: already running (process " + std::to_string(first.Pid()) +
                                 "); its window could not be brought to the front, since the desktop did not "
                                 "allow it.\n");
  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(20s), 0);
  weston.Signal(SIGTERM);
  weston.WaitExit(20s);
}

// A runtime directory that others can write to, or that belongs to another user, proves nothing about who
// holds the lock there: each start says so in one line and runs on.
TEST_F(ProgramTest, ARuntimeDirectoryOthersCanWriteOrOfAnotherUserIsSaidAndTheProgramRunsOn) {
  ASSERT_EQ(chmod(runtime_.Path().c_str(), 01777), 0);  // a shared, sticky directory such as /tmp
  std::vector<std::string> expected = {runtime_.Path() + " can be written by users other than its owner"};
  if (getuid() == 0) {  // as CI runs: the directory given to another user
    expected.push_back(runtime_.Path() + " belongs to user 65534, not to this user (0)");
  }
  for (const std::string& why : expected) {
    if (why.find("belongs") != std::string::npos) {
      ASSERT_EQ(chmod(runtime_.Path().c_str(), 0700), 0);
      ASSERT_EQ(chown(runtime_.Path().c_str(), 65534, 65534), 0);
    }
    auto program = Start();
    ASSERT_TRUE(program->WaitBound(8102, 20s)) << program->Stderr();
    const std::string text = program->Stderr();  // (a line on the key sink may follow)
    EXPECT_EQ(text.substr(0, text.find('\n') + 1),
              "strokerelayd: cannot tell whether another instance runs, since " + why + "; running on.\n");
    program->Signal(SIGTERM);
    EXPECT_EQ(program->WaitExit(20s), 0);
  }
  ASSERT_EQ(chown(runtime_.Path().c_str(), getuid(), getgid()), 0);
}

// What a program writes on standard output, and its exit code, for a shell command line.
std::pair<std::string, int> OutputOf(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return {"", -1};
  }
  std::string output;
  char buffer[512];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, n);
  }
  const int status = pclose(pipe);
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// --help and --version answer on standard output and end with 0 without starting anything; any other
// argument is refused with a usage line on standard error and exit code 2, and the port stays free.
TEST(ProgramArgumentsTest, QuestionsAreAnsweredAndAnythingElseIsRefused) {
  const std::string program = SRD_PROGRAM;
  const auto [help, helpCode] = OutputOf(program + " --help 2>/dev/null");
  EXPECT_EQ(helpCode, 0);
  EXPECT_TRUE(help.starts_with("usage: strokerelayd [-p PORT] | --help | --version | --pair | --unpair\n"))
      << help;
  EXPECT_NE(help.find("-p, --port PORT"), std::string::npos) << help;
  EXPECT_NE(help.find("8102"), std::string::npos) << help;
  const auto [version, versionCode] = OutputOf(program + " -V 2>/dev/null");
  EXPECT_EQ(versionCode, 0);
  EXPECT_TRUE(version.starts_with("strokerelayd 1.")) << version;

  const struct {
    std::vector<std::string> arguments;
    std::string refused;
  } cases[] = {{{"-x", "9000"}, "unexpected argument '-x'"},
               {{"--help", "extra"}, "unexpected argument 'extra'"},
               {{"--frobnicate"}, "unexpected argument '--frobnicate'"},
               {{"--pair", "now"}, "unexpected argument 'now'"},
               {{"-p", "9000", "--help"}, "unexpected argument '--help'"},
               {{"-p"}, "-p needs a port number"},
               {{"-p", "0"}, "the port must be a number from 1 to 65535, not '0'"},
               {{"--port", "65536"}, "the port must be a number from 1 to 65535, not '65536'"},
               {{"--port=12ab"}, "the port must be a number from 1 to 65535, not '12ab'"},
               {{"-p", " 9000"}, "the port must be a number from 1 to 65535, not ' 9000'"},
               {{"-p", "-5"}, "the port must be a number from 1 to 65535, not '-5'"}};
  for (const auto& c : cases) {
    ProgramOptions options(program);
    options.arguments = c.arguments;
    ProgramProcess refused(options);
    ASSERT_TRUE(refused.Started());
    EXPECT_EQ(refused.WaitExit(20s), 2);
    EXPECT_EQ(refused.Stderr(),
              "strokerelayd: " + c.refused +
                  "\nusage: strokerelayd [-p PORT] | --help | --version | --pair | --unpair\n");
  }
}

// -p and --port choose the port to start on; 8102 stays free, and a port in use is said once in words beside
// the diagnostic line of every try.
TEST_F(ProgramTest, ThePortOptionChoosesWhereItListensAndAPortInUseIsSaid) {
  const int port = srd::test::FindFreeUdpPort();
  srd::test::UdpSocket holder;
  ASSERT_TRUE(holder.Bind(port));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-p", std::to_string(port)},
        std::vector<std::string>{"--port=" + std::to_string(port)}}) {
    ProgramOptions options{SRD_PROGRAM, {}, runtime_.Path()};
    options.arguments = arguments;
    ProgramProcess program(options);
    ASSERT_TRUE(program.Started());
    const std::string line =
        "strokerelayd: not listening on UDP port " + std::to_string(port) + ": in use by another program\n";
    ASSERT_TRUE(WaitUntil([&] { return program.Stderr().find(line) != std::string::npos; }, 20s))
        << program.Stderr();
    EXPECT_NE(program.Stderr().find("skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n"), std::string::npos);
    EXPECT_TRUE(UdpPortIsFree(8102));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitExit(20s), 0);
  }
  holder.Close();
  ProgramOptions options{SRD_PROGRAM, {}, runtime_.Path()};
  options.arguments = {"--port", std::to_string(port)};
  ProgramProcess program(options);
  ASSERT_TRUE(program.Started());
  // Seen bound in the kernel's socket table: a trial bind of the port here could take it from the program.
  ASSERT_TRUE(program.WaitBound(static_cast<std::uint16_t>(port), 20s)) << program.Stderr();
  EXPECT_TRUE(UdpPortIsFree(8102));
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitExit(20s), 0);
  EXPECT_EQ(program.Stderr().find("not listening"), std::string::npos) << program.Stderr();
}

}  // namespace
