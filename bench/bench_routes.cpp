// The desktops' own ways of typing, measured on the real desktops the tests use (sway headless, mutter
// headless, as an ordinary user, no uinput): the latency of one key from its datagram to the terminal that
// has the focus, and a 3000-character text typed by strokesender.
//   bench_routes sway|mutter [keys]
// Prints "name value" figures on standard output. Port 8102 must be free.

#include <arpa/inet.h>
#include <linux/input-event-codes.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../tests/platform/wayland/desktop_typing.h"
#include "platform/keys/key_sink.h"
#include "platform/wayland/remote_desktop_key_backend.h"
#include "support/mutter_desktop.h"
#include "support/sample_text.h"
#include "support/sway_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

void Figure(const std::string& name, double value) {
  std::printf("%s %.6g\n", name.c_str(), value);
}

// One Return per datagram, sent straight to the port: each is one line in the terminal's recording.
std::vector<double> ReturnLatenciesUs(srd::test::TerminalRecorder& terminal, int keys) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(8102);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<double> us;
  for (int i = 0; i < keys; ++i) {
    const std::size_t before = terminal.Text().size();
    const auto sent = Clock::now();
    sendto(fd, "?K00DU00D", 9, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (!srd::test::WaitUntil([&] { return terminal.Text().size() > before; }, std::chrono::seconds(5),
                              std::chrono::milliseconds(0))) {
      std::fprintf(stderr, "a key did not arrive\n");
      break;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    usleep(20000);
  }
  close(fd);
  return us;
}

int Measure(const std::string& route, srd::test::TerminalRecorder& terminal, int keys) {
  std::vector<double> us = ReturnLatenciesUs(terminal, keys);
  if (us.empty()) {
    return 1;
  }
  std::sort(us.begin(), us.end());
  Figure(route + ".key_p50_us", us[us.size() / 2]);
  Figure(route + ".key_max_us", us.back());
  srd::test::MarkOnceSettled(terminal);
  const std::string text = srd::test::SampleText(3000) + "\n";
  const auto start = Clock::now();
  if (srd::test::RunSender({"-l", "us", "127.0.0.1", text}) != 0) {
    return 1;
  }
  const std::string got = srd::test::TextOnceThere(terminal, text);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Figure(route + ".text_chars_per_s", static_cast<double>(text.size()) / seconds);
  std::size_t lost = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    lost += i >= got.size() || got[i] != text[i];
  }
  Figure(route + ".text_chars_wrong", static_cast<double>(lost));
  if (lost != 0) {
    std::fprintf(stderr, "got %zu characters: %s\n", got.size(), got.substr(0, 200).c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string route = argc > 1 ? argv[1] : "";
  const int keys = argc > 2 ? std::atoi(argv[2]) : 50;
  const auto user = srd::test::OrdinaryTestUser();
  if (!user || (route != "sway" && route != "mutter")) {
    std::fprintf(stderr, "usage: %s sway|mutter [keys] (needs an ordinary user)\n", argv[0]);
    return 2;
  }
  srd::test::TerminalRecorder terminal;
  srd::test::ScopedTempDir runtime("srd-relay");
  std::string why;
  std::unique_ptr<srd::test::ProgramProcess> relay;
  if (route == "sway") {
    srd::test::SwayDesktop sway;
    if (!sway.Start(*user, "us") || !terminal.Start(*user, sway.RuntimeDir(), sway.WaylandDisplay()) ||
        !srd::test::WaitUntil([&] { return sway.Tap(KEY_ENTER) && !terminal.Text().empty(); },
                              std::chrono::seconds(30), std::chrono::milliseconds(200))) {
      std::fprintf(stderr, "sway or its terminal did not come up\n");
      return 1;
    }
    srd::test::MarkOnceSettled(terminal);
    relay = srd::test::StartRelayAs(
        *user, runtime, {{"WAYLAND_DISPLAY", sway.WaylandDisplay()}, {"SWAYSOCK", sway.IpcSocket()}}, &why);
    return relay != nullptr ? Measure(route, terminal, keys) : (std::fprintf(stderr, "%s\n", why.c_str()), 1);
  }
  srd::test::MutterDesktop mutter;
  if (!mutter.Start(*user) || !terminal.Start(*user, mutter.RuntimeDir(), mutter.WaylandDisplay())) {
    std::fprintf(stderr, "mutter or its terminal did not come up\n");
    return 1;
  }
  // The user's own keyboard, which headless mutter lacks (see the tests).
  auto keyboard = srd::RemoteDesktopKeyBackend::Create(mutter.BusAddress(), &why);
  if (keyboard == nullptr || !srd::test::WaitUntil(
                                 [&] {
                                   keyboard->Inject(0x0D, 0, srd::KEYEVENT_PRESS, 0);
                                   keyboard->Inject(0x0D, 0, srd::KEYEVENT_KEYUP, 0);
                                   keyboard->Flush();
                                   return !terminal.Text().empty();
                                 },
                                 std::chrono::seconds(30), std::chrono::milliseconds(200))) {
    std::fprintf(stderr, "the terminal never got a key\n");
    return 1;
  }
  srd::test::MarkOnceSettled(terminal);
  relay = srd::test::StartRelayAs(
      *user, runtime,
      {{"WAYLAND_DISPLAY", mutter.WaylandDisplay()}, {"DBUS_SESSION_BUS_ADDRESS", mutter.BusAddress()}},
      &why);
  return relay != nullptr ? Measure(route, terminal, keys) : (std::fprintf(stderr, "%s\n", why.c_str()), 1);
}
