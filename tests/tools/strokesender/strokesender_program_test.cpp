// Runs the built strokesender against a UDP socket bound on a free loopback port and checks exactly which
// datagrams arrive; the interactive mode runs on a pseudo-terminal.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "seal/datagram_sealer.h"
#include "seal/pairing_code.h"
#include "seal/sealed_datagram.h"
#include "support/loopback.h"
#include "support/scoped_temp_dir.h"

extern char** environ;

namespace {

constexpr int kGenerousWaitMs = 10000;

class LoopbackReceiver {
 public:
  LoopbackReceiver() {
    socket_.Bind(0);
    port_ = std::to_string(socket_.LocalPort());
  }

  const std::string& Port() const { return port_; }

  // Waits for the next datagram; empty when none came within the time limit.
  std::string Next(int timeoutMs = kGenerousWaitMs) const {
    return socket_.Receive(std::chrono::milliseconds(timeoutMs));
  }

  // Every datagram that has arrived so far. Loopback delivery is complete when the sender's sendto returns,
  // so after the sender has exited nothing is still on the way.
  std::vector<std::string> Drain() {
    std::vector<std::string> datagrams;
    for (std::string datagram = Next(0); !datagram.empty(); datagram = Next(0)) {
      datagrams.push_back(datagram);
    }
    return datagrams;
  }

 private:
  srd::test::UdpSocket socket_;
  std::string port_;
};

// Starts the program with args and the given descriptors as its standard input, output and error.
pid_t Spawn(std::vector<std::string> args, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  args.insert(args.begin(), STROKESENDER_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t child = -1;
  EXPECT_EQ(posix_spawn(&child, STROKESENDER_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

// Runs the program with input on its standard input and collects its output, through files.
Outcome RunSender(const std::vector<std::string>& args, const std::string& input) {
  const srd::test::ScopedTempDir scratch("strokesender-test");
  const std::filesystem::path dir = scratch.Path();
  std::ofstream(dir / "in", std::ios::binary) << input;
  const int in = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
  const int out = open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int err = open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const pid_t child = Spawn(args, in, out, err);
  for (const int fd : {in, out, err}) {
    close(fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
  for (const auto& [name, text] : {std::pair("out", &outcome.out), std::pair("err", &outcome.err)}) {
    std::ostringstream contents;
    contents << std::ifstream(dir / name, std::ios::binary).rdbuf();
    *text = contents.str();
  }
  return outcome;
}

std::string Repeat(const std::string& part, int times) {
  std::string whole;
  for (int i = 0; i < times; ++i) {
    whole += part;
  }
  return whole;
}

TEST(StrokesenderProgram, SendsWhatItIsGivenOrRefusesBeforeSendingAnything) {
  // Expected standard output and error are prefixes, or the whole text when they end with a newline.
  struct Case {
    std::vector<std::string> args;  // "-pP" stands for the receiver's port
    std::string input;
    int exitCode;
    std::vector<std::string> datagrams;
    std::string out = {}, err = {};
  };
  const std::string ja = "\xE6\x97\xA5", refused = "strokesender: cannot type U+";
  const std::string tooLong(1100, 'k');
  const std::string fullOfA = "?" + Repeat("k41u41", 170);  // 1021 bytes: one more key would not fit
  const Case cases[] = {
      {{"-pP", "127.0.0.1", "Hi,"}, "", 0, {"?k10k48u48u10k49u49kbcubc"}},
      {{"-d", "1", "-pP", "127.0.0.1", "Hi,"}, "", 0, {"?k10k48u48u10", "?k49u49", "?kbcubc"}},
      {{"-pP", "localhost"}, std::string(400, 'a'), 0, {fullOfA, fullOfA, "?" + Repeat("k41u41", 60)}},
      {{"-d", "0", "-pP", "localhost"}, "h\n", 0, {"?k48u48", "?k0du0d"}},
      {{"-pP", "127.0.0.1", "--raw", "K041U041"}, "", 0, {"?K041U041"}},
      {{"127.0.0.1", "--raw", "?K103 k0du0d", "-pP"}, "", 0, {"?K103 k0du0d"}},
      {{"-pP", "127.0.0.1", "ok " + ja}, "", 2, {}, "", refused + "65E5 \"" + ja + "\" at character 4"},
      // Standard input goes as it is read: the lines before the refused one are typed.
      {{"-pP", "localhost"},
       "ok\n\x01",
       2,
       {"?k4fu4fk4bu4bk0du0d"},
       "",
       refused + "0001 (a control character) at line 2, column 1:"},
      {{"-pP", "localhost", "--raw", tooLong}, "", 2, {}, "", "strokesender: --raw datagram is 1101 bytes"},
      {{"-pP", "localhost", "--raw", "ZZZ"}, "", 2, {}, "", "strokesender: --raw 'ZZZ' holds no key command"},
      // -v says which layout it types for and where that came from.
      {{"-v", "-l", "de", "-pP", "127.0.0.1", "z"},
       "",
       0,
       {"?k5au5a"},
       "",
       "strokesender: typing for keyboard layout de (-l)\n"},
      {{"-pP", "127.0.0.1", "--verbose", "a"},
       "",
       0,
       {"?k41u41"},
       "",
       "strokesender: typing for keyboard layout "},
      {{"--help"}, "", 0, {}, "Usage: strokesender"},
      {{"--version"}, "", 0, {}, "strokesender 1.0.0\n"},
      {{"--list-layouts"}, "", 0, {}, "Keyboard layouts for -l"},
      {{"-l", "xx", "-pP", "127.0.0.1", "a"},
       "",
       2,
       {},
       "",
       "strokesender: unknown keyboard layout 'xx'; 'strokesender --list-layouts' lists"},
      {{"--frobnicate", "host"}, "", 2, {}, "", "strokesender: unknown option '--frobnicate'\nTry"},
      {{"no-such-host.invalid", "x"}, "", 1, {}, "", "strokesender: cannot find host 'no-such-host.invalid'"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    LoopbackReceiver receiver;
    for (std::string& arg : c.args) {
      arg = arg == "-pP" ? "-p" + receiver.Port() : arg;
    }
    const Outcome outcome = RunSender(c.args, c.input);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
    EXPECT_EQ(receiver.Drain(), c.datagrams);
    for (const auto& [got, expected] : {std::pair(outcome.out, c.out), std::pair(outcome.err, c.err)}) {
      EXPECT_EQ(expected.ends_with('\n') ? got : got.substr(0, expected.size()), expected);
    }
    if (c.exitCode == 1 || c.err.starts_with(refused)) {
      EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    }
  }
}

// Standard input that is not a terminal is typed as it is read: its first line arrives while the input is
// still open, and megabytes of it cost no memory in proportion to their length.
TEST(StrokesenderProgram, StandardInputIsTypedAsItIsReadInBoundedMemory) {
  LoopbackReceiver receiver;
  int input[2];
  ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t child = Spawn({"-d", "0", "-p", receiver.Port(), "127.0.0.1"}, input[0], devNull, devNull);
  close(input[0]);
  close(devNull);
  signal(SIGPIPE, SIG_IGN);  // should the sender end early, the test sees it in the exit code, not a signal
  ASSERT_EQ(write(input[1], "hi\n", 3), 3);
  EXPECT_EQ(receiver.Next(), "?k48u48");
  EXPECT_EQ(receiver.Next(), "?k49u49");
  EXPECT_EQ(receiver.Next(), "?k0du0d");
  const std::string line = std::string(99, 'a') + "\n";
  constexpr int kLines = 10000;  // 1 MB; read whole first, it once took over 50 MB
  for (int i = 0; i < kLines; ++i) {
    ASSERT_EQ(write(input[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  close(input[1]);
  int status = 0;
  rusage usage{};
  ASSERT_EQ(wait4(child, &status, 0, &usage), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // whose own memory grows as it runs
  EXPECT_LT(usage.ru_maxrss, 36 * 1024) << "kB at most";
#endif
}

// The interactive mode on a pseudo-terminal: keys go out as they are typed, and the terminal's settings are
// back as they were when the program ends, by Ctrl-] or by a signal.
class InteractiveSession {
 public:
  explicit InteractiveSession(const std::string& port, std::vector<std::string> options = {}) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master_);
    unlockpt(master_);
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    tcgetattr(slave_, &before_);
    options.insert(options.end(), {"-p", port, "127.0.0.1"});
    child_ = Spawn(options, slave_, slave_, slave_);
  }
  ~InteractiveSession() {
    close(slave_);
    close(master_);
  }

  // Waits until the program says it is ready, which it does once the terminal is in raw mode, so nothing
  // typed afterwards is echoed or cooked by the line discipline.
  bool WaitUntilReady() {
    std::string seen;
    char buffer[256];
    pollfd ready{master_, POLLIN, 0};
    while (seen.find("Ctrl-]") == std::string::npos) {
      const ssize_t got = poll(&ready, 1, kGenerousWaitMs) == 1 ? read(master_, buffer, sizeof buffer) : 0;
      if (got <= 0) {
        return false;
      }
      seen.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
  }
  void Type(const std::string& bytes) {
    EXPECT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int Wait() {
    int status = 0;
    waitpid(child_, &status, 0);
    return status;
  }
  void Signal(int signal) { kill(child_, signal); }
  bool SettingsRestored() {
    termios after{};
    tcgetattr(slave_, &after);
    return after.c_lflag == before_.c_lflag && after.c_iflag == before_.c_iflag &&
           after.c_oflag == before_.c_oflag && std::memcmp(after.c_cc, before_.c_cc, sizeof after.c_cc) == 0;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t child_ = -1;
  termios before_{};
};

TEST(StrokesenderProgram, InteractiveSendsKeysAsTypedAndAlwaysRestoresTheTerminal) {
  // Ending with Ctrl-] (signal 0), or by a signal.
  for (const int signal : {0, SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    LoopbackReceiver receiver;
    InteractiveSession session(receiver.Port());
    ASSERT_TRUE(session.WaitUntilReady());
    session.Type("a\x03\x1B[A\x1BOP\r");  // a, Ctrl+C, Up, F1, Enter
    for (const char* datagram : {"?k41u41", "?k11k43u43u11", "?k26u26", "?k70u70", "?k0du0d"}) {
      EXPECT_EQ(receiver.Next(), datagram);
    }
    if (signal == 0) {
      session.Type("\x1D");
    } else {
      session.Signal(signal);
    }
    const int status = session.Wait();
    EXPECT_TRUE(signal == 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                            : WIFSIGNALED(status) && WTERMSIG(status) == signal)
        << status;
    EXPECT_TRUE(session.SettingsRestored());
    EXPECT_TRUE(receiver.Drain().empty());
  }
}

// With --key, standard input, the terminal and --raw go sealed, each datagram sent --repeat times (4 by
// default) with the same bytes, which open under the receiver's key to the plain datagram; a wrong code sends
// nothing.
TEST(StrokesenderProgram, SealsWithTheKeyAndSendsEachDatagramAsOftenAsAsked) {
  ASSERT_TRUE(srd::seal::StartSealing());
  const srd::seal::Key key = srd::seal::NewKey();
  const std::string code = srd::seal::PairingCodeFor(key);
  auto open = [&](const std::string& datagram) {
    char text[1100];
    std::size_t length = 0;
    srd::seal::SealedPlace place;
    EXPECT_TRUE(srd::seal::OpenDatagram(key, reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                        datagram.size(), &place, text, &length));
    return std::string(text, length);
  };
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::size_t copies;
    std::string plain;
  };
  for (const Case& c : {Case{{"127.0.0.1"}, "Hi,", 4, "?k10k48u48u10k49u49kbcubc"},
                        Case{{"--repeat", "2", "127.0.0.1", "--raw", "k41u41"}, "", 2, "?k41u41"},
                        Case{{"--repeat=1", "-d", "0", "127.0.0.1", "ab"}, "", 1, "?k41u41"}}) {
    LoopbackReceiver receiver;
    std::vector<std::string> args = {"--key", code, "-p", receiver.Port()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome outcome = RunSender(args, c.input);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::vector<std::string> datagrams = receiver.Drain();
    ASSERT_GE(datagrams.size(), c.copies);
    for (std::size_t i = 0; i < c.copies; ++i) {
      EXPECT_EQ(static_cast<unsigned char>(datagrams[i][0]), 0xA7);
      EXPECT_EQ(datagrams[i], datagrams[0]);
    }
    EXPECT_EQ(open(datagrams[0]), c.plain);
  }

  // Typed at the terminal, each key's datagram goes sealed too.
  {
    LoopbackReceiver receiver;
    InteractiveSession session(receiver.Port(), {"--key", code});
    ASSERT_TRUE(session.WaitUntilReady());
    session.Type("a");
    for (int copy = 0; copy < 4; ++copy) {
      EXPECT_EQ(open(receiver.Next()), "?k41u41");
    }
    session.Type("\x1D");
    const int status = session.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  LoopbackReceiver receiver;
  std::string wrong = code;
  wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
  const Outcome refused = RunSender({"--key", wrong, "-p", receiver.Port(), "127.0.0.1", "x"}, "");
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_EQ(refused.err,
            "strokesender: invalid key code: the pairing code does not check out (a character is "
            "wrong)\n");
  EXPECT_TRUE(receiver.Drain().empty());
}

}  // namespace
