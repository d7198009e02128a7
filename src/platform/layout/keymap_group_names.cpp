// A compositor's keymap text is compiled first in a child process. XKB's text parser crashes on some
// malformed keymaps (an empty entry in a key's symbols is one) and may take long on others; the compositor's
// keymap is outside strokerelayd's control, so a text that ends or holds up the child is refused as one that
// does not compile, and strokerelayd goes on with the layout it finds elsewhere. A text that compiled there
// compiles the same here: the parser reads nothing but the text.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/layout/keymap_text.h"
#include "platform/layout/layout_keymap.h"

namespace srd {

namespace {

// Far more than a whole keymap takes to compile (tens of milliseconds), even under a sanitizer on a slow
// handheld; short enough that a text the parser hangs on holds nothing up for long.
constexpr std::chrono::seconds kCompileLimit{2};
// More than any keymap's group names need; what goes beyond is no answer.
constexpr std::size_t kMostNameBytes = 64 * 1024;

std::vector<std::string> GroupNames(xkb_keymap* keymap) {
  std::vector<std::string> names;
  const xkb_layout_index_t count = xkb_keymap_num_layouts(keymap);
  for (xkb_layout_index_t i = 0; i < count; ++i) {
    const char* name = xkb_keymap_layout_get_name(keymap, i);
    names.emplace_back(name != nullptr ? name : "");
  }
  return names;
}

std::optional<std::vector<std::string>> CompiledHere(const std::string& text) {
  xkb_keymap* keymap = CompileKeymapText(text);
  if (keymap == nullptr) {
    return std::nullopt;
  }
  std::vector<std::string> names = GroupNames(keymap);
  xkb_keymap_unref(keymap);
  return names;
}

// The child: a crash is only its end (no handler of a sanitizer or a debugger's, no core file), and its
// answer is each group's name ended by a NUL, then its exit status 0.
[[noreturn]] void CompileInChild(const std::string& text, int answer) {
  for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP}) {
    ::signal(signal, SIG_DFL);
  }
  const rlimit noCore{0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  const std::optional<std::vector<std::string>> names = CompiledHere(text);
  if (!names) {
    _exit(1);
  }
  std::string written;
  for (const std::string& name : *names) {
    written += name;
    written += '\0';
  }
  std::size_t done = 0;
  while (done < written.size()) {
    const ssize_t n = write(answer, written.data() + done, written.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      _exit(1);
    }
    done += static_cast<std::size_t>(n);
  }
  _exit(0);
}

// What the child wrote before it closed its end, within the limit; nullopt when it took longer or wrote more
// than any answer holds.
std::optional<std::string> ReadAnswer(int answer) {
  const auto deadline = std::chrono::steady_clock::now() + kCompileLimit;
  std::string read;
  char buffer[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    pollfd ready{answer, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) {
      continue;
    }
    if (polled <= 0) {
      return std::nullopt;
    }
    const ssize_t n = ::read(answer, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return std::nullopt;
    }
    if (n == 0) {
      return read;
    }
    read.append(buffer, static_cast<std::size_t>(n));
    if (read.size() > kMostNameBytes) {
      return std::nullopt;
    }
  }
}

// Whether the child ended by itself with status 0, once it is reaped. A child that closed its end of the pipe
// is ending (its files close as it exits); one that did not answer in time is killed.
bool EndedWell(pid_t child, bool answered) {
  if (!answered) {
    kill(child, SIGKILL);
  }
  int status = 0;
  pid_t waited = 0;
  while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  return answered && waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<std::vector<std::string>> KeymapGroupNames(const std::string& text) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return CompiledHere(text);
  }
  const pid_t child = fork();
  if (child < 0) {
    // No process to spare: the compositor's keymap is the one every window of the session compiles too.
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return CompiledHere(text);
  }
  if (child == 0) {
    close(pipeEnds[0]);
    CompileInChild(text, pipeEnds[1]);
  }
  close(pipeEnds[1]);
  const std::optional<std::string> answer = ReadAnswer(pipeEnds[0]);
  close(pipeEnds[0]);
  if (!EndedWell(child, answer.has_value())) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t end = answer->find('\0'); end != std::string::npos; end = answer->find('\0', start)) {
    names.push_back(answer->substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace srd
