// Runs the built strokesender against a UDP socket bound on a free loopback port and checks exactly which
// datagrams arrive; the interactive mode runs on a pseudo-terminal.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kGenerousWaitMs = 10000;

class LoopbackReceiver {
 public:
  LoopbackReceiver() {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackReceiver() { close(socket_); }

  std::string Port() const { return std::to_string(port_); }

  // Waits for the next datagram; empty when none came within the time limit.
  std::string Next(int timeoutMs = kGenerousWaitMs) {
    pollfd ready{socket_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) != 1) {
      return {};
    }
    char buffer[2048];
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
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
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadPipe(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return text;
}

// Runs the program with args, input on its standard input (a pipe), and collects its output.
Outcome RunSender(const std::vector<std::string>& args, const std::string& input = "") {
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
  EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> storage = {STROKESENDER_PATH};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  pid_t child = -1;
  EXPECT_EQ(posix_spawn(&child, STROKESENDER_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (!input.empty()) {
    EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  }
  close(in[1]);
  Outcome outcome;
  outcome.out = ReadPipe(out[0]);
  outcome.err = ReadPipe(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(StrokesenderProgram, TypesTextAsOneDatagramPerCharacter) {
  LoopbackReceiver receiver;
  const Outcome outcome = RunSender({"-p", receiver.Port(), "127.0.0.1", "Hello, World!"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  const std::vector<std::string> expected = {
      "?k10k48u48u10", "?k45u45", "?k4cu4c", "?k4cu4c", "?k4fu4f", "?kbcubc",      "?k20u20",
      "?k10k57u57u10", "?k4fu4f", "?k52u52", "?k4cu4c", "?k44u44", "?k10k31u31u10"};
  EXPECT_EQ(receiver.Drain(), expected);
}

TEST(StrokesenderProgram, TypesStandardInputWhenNoTextIsGiven) {
  LoopbackReceiver receiver;
  const Outcome outcome = RunSender({"-d", "0", "-p", receiver.Port(), "localhost"}, "hi\n");
  EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
  EXPECT_EQ(receiver.Drain(), (std::vector<std::string>{"?k48u48", "?k49u49", "?k0du0d"}));
}

TEST(StrokesenderProgram, RawSendsOneDatagramAddingTheQuestionMark) {
  LoopbackReceiver receiver;
  EXPECT_EQ(RunSender({"-p", receiver.Port(), "127.0.0.1", "--raw", "K041U041"}).exitCode, 0);
  EXPECT_EQ(RunSender({"127.0.0.1", "--raw", "?K103 k0du0d", "-p", receiver.Port()}).exitCode, 0);
  EXPECT_EQ(receiver.Drain(), (std::vector<std::string>{"?K041U041", "?K103 k0du0d"}));
}

TEST(StrokesenderProgram, RefusesBeforeSendingAnything) {
  LoopbackReceiver receiver;
  const Outcome japanese = RunSender({"-p", receiver.Port(), "127.0.0.1", "ok \xE6\x97\xA5\xE6\x9C\xAC"});
  EXPECT_EQ(japanese.exitCode, 2);
  EXPECT_EQ(japanese.err.rfind("strokesender: ", 0), 0u);
  EXPECT_NE(japanese.err.find("U+65E5"), std::string::npos) << japanese.err;
  EXPECT_NE(japanese.err.find("character 4"), std::string::npos) << japanese.err;

  const Outcome piped = RunSender({"-p", receiver.Port(), "127.0.0.1"}, "fine\nno\x01");
  EXPECT_EQ(piped.exitCode, 2);
  EXPECT_NE(piped.err.find("line 2, column 3"), std::string::npos) << piped.err;

  const Outcome tooLong = RunSender({"-p", receiver.Port(), "127.0.0.1", "--raw", std::string(1100, 'k')});
  EXPECT_EQ(tooLong.exitCode, 2);

  EXPECT_TRUE(receiver.Drain().empty());
}

TEST(StrokesenderProgram, ExitCodesForUsageAndUnknownHosts) {
  const Outcome help = RunSender({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: strokesender", 0), 0u);
  EXPECT_EQ(help.err, "");

  const Outcome version = RunSender({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "strokesender 1.0.0\n");

  const Outcome usage = RunSender({"--frobnicate", "host"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_EQ(usage.err.rfind("strokesender: unknown option '--frobnicate'\n", 0), 0u) << usage.err;
  EXPECT_EQ(usage.out, "");

  const Outcome unknown = RunSender({"no-such-host.invalid", "x"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.err.rfind("strokesender: cannot find host 'no-such-host.invalid'", 0), 0u) << unknown.err;
  EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1);
}

// The interactive mode, on a pseudo-terminal: keys go out as they are typed, and the terminal's settings are
// back as they were when the program ends, by Ctrl-] or by a signal.
class InteractiveSession {
 public:
  explicit InteractiveSession(const std::string& port) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master_);
    unlockpt(master_);
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    tcgetattr(slave_, &before_);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave_, 0);
    posix_spawn_file_actions_adddup2(&actions, slave_, 1);
    posix_spawn_file_actions_adddup2(&actions, slave_, 2);
    std::vector<std::string> storage = {STROKESENDER_PATH, "-p", port, "127.0.0.1"};
    std::vector<char*> argv;
    for (std::string& arg : storage) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn(&child_, STROKESENDER_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~InteractiveSession() {
    close(slave_);
    close(master_);
  }

  // Waits until the program says it is ready, which it does once the terminal is in raw mode, so nothing
  // typed afterwards is echoed or cooked by the line discipline.
  bool WaitUntilReady() {
    std::string seen;
    while (seen.find("Ctrl-]") == std::string::npos) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, kGenerousWaitMs) != 1) {
        return false;
      }
      char buffer[256];
      const ssize_t got = read(master_, buffer, sizeof buffer);
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

TEST(StrokesenderProgram, InteractiveSendsKeysUntilCtrlRightBracket) {
  LoopbackReceiver receiver;
  InteractiveSession session(receiver.Port());
  ASSERT_TRUE(session.WaitUntilReady());
  session.Type("a");
  EXPECT_EQ(receiver.Next(), "?k41u41");
  session.Type("\x03\x1B[A\x1BOP\r");
  EXPECT_EQ(receiver.Next(), "?k11k43u43u11");
  EXPECT_EQ(receiver.Next(), "?k26u26");
  EXPECT_EQ(receiver.Next(), "?k70u70");
  EXPECT_EQ(receiver.Next(), "?k0du0d");
  session.Type("\x1D");
  const int status = session.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(session.SettingsRestored());
  EXPECT_TRUE(receiver.Drain().empty());
}

TEST(StrokesenderProgram, InteractiveRestoresTheTerminalOnASignal) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    LoopbackReceiver receiver;
    InteractiveSession session(receiver.Port());
    ASSERT_TRUE(session.WaitUntilReady());
    session.Type("z");
    EXPECT_EQ(receiver.Next(), "?k5au5a");
    session.Signal(signal);
    const int status = session.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(session.SettingsRestored());
  }
}

}  // namespace
