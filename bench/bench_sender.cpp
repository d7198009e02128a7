// Typing end to end: text sent to a running strokerelayd whose XTest sink feeds a private Xvfb, watched
// arriving at the server by a separate X client that rebuilds the text from the key events.
//   bench_sender RELAYD SENDER pace [datagrams]          the receiver's cost per event, loss at fixed paces
//   bench_sender RELAYD SENDER compare [chars] [rounds]  strokesender's defaults and xdotool, side by side
//   bench_sender RELAYD SENDER loss [chars]              strokesender's defaults on a long text
// Figures are printed as "name value" lines. Port 8102 must be free.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/key_observer.h"
#include "support/loopback.h"
#include "support/program_process.h"
#include "support/sample_text.h"
#include "support/scoped_temp_dir.h"
#include "support/typed_text.h"
#include "support/xvfb_server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kQuiet{2000};  // no key for this long: the typing has ended

void Figure(const std::string& name, double value) {
  std::printf("%s %.10g\n", name.c_str(), value);
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Xvfb, strokerelayd typing into it and an observer of the keys that arrive.
struct Rig {
  srd::XvfbServer xvfb;
  std::unique_ptr<srd::test::ProgramProcess> relay;
  std::unique_ptr<srd::KeyObserver> observer;

  bool Start(const std::string& relayPath) {
    if (!srd::test::UdpPortIsFree(8102)) {
      std::fprintf(stderr, "bench_sender: UDP port 8102 is in use\n");
      return false;
    }
    if (!xvfb.Start()) {
      std::fprintf(stderr, "bench_sender: Xvfb did not start\n");
      return false;
    }
    relay = std::make_unique<srd::test::ProgramProcess>(srd::test::ProgramOptions(
        relayPath, {{"DISPLAY", xvfb.DisplayName()}, {"QT_QPA_PLATFORM", "offscreen"}}));
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!relay->QueuedBytes(8102) && relay->Running() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!relay->QueuedBytes(8102)) {
      std::fprintf(stderr, "bench_sender: strokerelayd did not bind UDP 8102\n%s", relay->Stderr().c_str());
      return false;
    }
    observer = std::make_unique<srd::KeyObserver>(xvfb.DisplayName());
    return observer->Ready();
  }

  // Key events until the keys stop coming; *seconds is from `start` to the last one.
  std::vector<srd::KeyEvent> Watch(Clock::time_point start, double* seconds) {
    Clock::time_point last = start;
    std::vector<srd::KeyEvent> events = observer->TakeUntilQuiet(kQuiet, &last);
    *seconds = std::chrono::duration<double>(last - start).count();
    return events;
  }
};

pid_t Spawn(std::vector<std::string> args, const std::string& display, const std::string& input) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.empty() ? "/dev/null" : input.c_str(),
                                   O_RDONLY, 0);
  std::vector<std::string> variables = {"DISPLAY=" + display};
  for (char** v = environ; *v != nullptr; ++v) {
    if (std::string(*v).rfind("DISPLAY=", 0) != 0) {
      variables.emplace_back(*v);
    }
  }
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  for (std::string& v : variables) {
    envp.push_back(v.data());
  }
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Reap(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) {
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Typing {
  double seconds = 0;
  std::size_t typed = 0;  // characters rebuilt from the keys
  std::size_t lost = 0;   // characters of the text that did not arrive
  bool exact = false;     // the rebuilt text is the text (a key bound for a moment may hide which it was)
};

Typing TypeOnce(Rig& rig, std::vector<std::string> command, const std::string& textFile,
                const std::string& text) {
  const std::string command0 = command[0];
  const Clock::time_point start = Clock::now();
  const pid_t pid = Spawn(std::move(command), rig.xvfb.DisplayName(), textFile);
  Typing result;
  const std::vector<srd::KeyEvent> events = rig.Watch(start, &result.seconds);
  if (Reap(pid) != 0) {
    std::fprintf(stderr, "bench_sender: the typing program failed\n");
  }
  const std::u32string characters = srd::TypedText(events, *rig.observer);
  const std::string typed = srd::Utf8Of(characters);
  result.typed = characters.size();
  result.lost = text.size() > characters.size() ? text.size() - characters.size() : 0;  // the text is ASCII
  result.exact = typed == text;
  if (!result.exact) {
    const auto [ours, theirs] = std::mismatch(text.begin(), text.end(), typed.begin(), typed.end());
    const std::size_t at = static_cast<std::size_t>(ours - text.begin());
    std::fprintf(stderr, "bench_sender: %s: the text differs from character %zu: \"%s\" arrived as \"%s\"\n",
                 command0.c_str(), at + 1, text.substr(at, 20).c_str(),
                 std::string(theirs, typed.end()).substr(0, 20).c_str());
  }
  return result;
}

std::string WriteText(const srd::test::ScopedTempDir& dir, const std::string& text) {
  const std::string path = dir.Path() + "/text";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The receiver's cost per event: bursts of full datagrams small enough to fit its socket queue, timed to the
// last key; then loss when full datagrams come at fixed paces for a while.
int Pace(Rig& rig, int datagrams) {
  std::string full = "?";
  while (full.size() + 6 <= 1024) {
    full += "k41u41";
  }
  const double eventsPerDatagram = static_cast<double>(full.size() - 1) / 3;
  srd::test::UdpSocket socket;
  constexpr int kBurst = 40;
  std::vector<double> perEvent;
  for (int round = 0; round < 5; ++round) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBurst; ++i) {
      socket.SendTo(8102, full);
    }
    double seconds = 0;
    const std::size_t events = rig.Watch(start, &seconds).size();
    perEvent.push_back(1e6 * seconds / static_cast<double>(events));
    std::fprintf(stderr, "pace: burst of %d: %zu of %.0f events in %.4f s\n", kBurst, events,
                 kBurst * eventsPerDatagram, seconds);
  }
  const double cost = Median(perEvent);
  Figure("pace.burst_datagrams", kBurst);
  Figure("pace.us_per_event", cost);
  for (const double budget : {6.0, 8.0, 10.0, 12.0, 16.0, 20.0, 24.0}) {
    const auto interval = std::chrono::nanoseconds(static_cast<long>(budget * 1000 * eventsPerDatagram));
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < datagrams; ++i) {
      std::this_thread::sleep_until(start + i * interval);
      socket.SendTo(8102, full);
    }
    double seconds = 0;
    const double events = static_cast<double>(rig.Watch(start, &seconds).size());
    const double lost = datagrams - events / eventsPerDatagram;
    std::fprintf(stderr, "pace: %.1f us per event: %d datagrams, %.1f lost\n", budget, datagrams, lost);
    const std::string name = "pace.budget_" + std::to_string(static_cast<int>(budget * 10));
    Figure(name + ".us_per_event", budget);
    Figure(name + ".lost_datagrams", lost);
  }
  Figure("pace.datagrams", datagrams);
  return 0;
}

int Compare(Rig& rig, const std::string& sender, std::size_t characters, int rounds) {
  const srd::test::ScopedTempDir dir("srd-bench");
  const std::string text = srd::test::SampleText(characters);
  const std::string file = WriteText(dir, text);
  std::vector<double> ours, theirs;
  std::size_t oursLost = 0, theirsLost = 0;
  bool oursExact = true;
  for (int round = 0; round < rounds; ++round) {
    const Typing a = TypeOnce(rig, {sender, "127.0.0.1"}, file, text);
    const Typing b = TypeOnce(rig, {"xdotool", "type", "--delay", "0", "--file", file}, "", text);
    std::fprintf(stderr, "compare: round %d: strokesender %.4f s (%zu lost%s), xdotool %.4f s (%zu lost%s)\n",
                 round + 1, a.seconds, a.lost, a.exact ? "" : ", text differs", b.seconds, b.lost,
                 b.exact ? "" : ", text differs");
    ours.push_back(static_cast<double>(characters) / a.seconds);
    theirs.push_back(static_cast<double>(characters) / b.seconds);
    oursLost = std::max(oursLost, a.lost);
    theirsLost = std::max(theirsLost, b.lost);
    oursExact = oursExact && a.exact;
  }
  Figure("compare.characters", static_cast<double>(characters));
  Figure("compare.rounds", rounds);
  Figure("compare.sender.chars_per_s", Median(ours));
  Figure("compare.xdotool.chars_per_s", Median(theirs));
  Figure("compare.ratio", Median(ours) / Median(theirs));
  Figure("compare.sender.most_lost", static_cast<double>(oursLost));
  Figure("compare.sender.exact", oursExact ? 1 : 0);
  Figure("compare.xdotool.most_lost", static_cast<double>(theirsLost));
  return 0;
}

int Loss(Rig& rig, const std::string& sender, std::size_t characters) {
  const srd::test::ScopedTempDir dir("srd-bench");
  const std::string text = srd::test::SampleText(characters, 7);
  const Typing a = TypeOnce(rig, {sender, "127.0.0.1"}, WriteText(dir, text), text);
  std::fprintf(stderr, "loss: %zu characters: %zu typed in %.2f s, %zu lost%s\n", characters, a.typed,
               a.seconds, a.lost, a.exact ? "" : ", text differs");
  Figure("loss.characters", static_cast<double>(characters));
  Figure("loss.lost", static_cast<double>(a.lost));
  Figure("loss.exact", a.exact ? 1 : 0);
  Figure("loss.chars_per_s", static_cast<double>(characters) / a.seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 3 ? argv[3] : "";
  const auto number = [&](int index, long fallback) {
    return argc > index ? std::atol(argv[index]) : fallback;
  };
  if (mode != "pace" && mode != "compare" && mode != "loss") {
    std::fprintf(stderr,
                 "usage: %s RELAYD SENDER pace [datagrams] | compare [chars] [rounds] | loss [chars]\n",
                 argv[0]);
    return 2;
  }
  Rig rig;
  if (!rig.Start(argv[1])) {
    return 1;
  }
  if (mode == "pace") {
    return Pace(rig, static_cast<int>(number(4, 300)));
  }
  if (mode == "compare") {
    return Compare(rig, argv[2], static_cast<std::size_t>(number(4, 3000)), static_cast<int>(number(5, 5)));
  }
  return Loss(rig, argv[2], static_cast<std::size_t>(number(4, 1 << 20)));
}
