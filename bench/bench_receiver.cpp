// The running receiver measured from outside, over real loopback sockets:
//   bench_receiver latency [datagrams]        send -> KeySink, against a plain blocking recvfrom loop, and
//                                             the same with the datagrams sealed (the paired mode)
//   bench_receiver throughput [seconds] [rate,rate,...]   the highest paced rate with nothing lost
//   bench_receiver xtest [events]             key events per second through the XTest backend ($DISPLAY)
// Every figure is printed as one "name value" line (for scripts/bench) after a readable summary.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/keys/key_sink.h"
#include "platform/layout/receiver_layout.h"
#include "platform/x11/layout_watcher.h"
#include "platform/x11/xtest_key_backend.h"
#include "receiver/key_commands.h"
#include "receiver/receiver_worker.h"
#include "receiver/sealed_receive.h"
#include "seal/datagram_sealer.h"
#include "seal/paired_receiver.h"
#include "support/scoped_temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void Figure(const char* name, double value) {
  std::printf("%s %.6g\n", name, value);
}

// Stamps the moment KeySink hands over each event; the sender reads the count to know one has arrived.
class StampingBackend final : public srd::KeyBackend {
 public:
  void Inject(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override {
    lastNs.store(NowNs(), std::memory_order_relaxed);
    count.fetch_add(1, std::memory_order_release);
  }
  const char* Name() const override { return "stamping"; }
  std::atomic<std::int64_t> lastNs{0};
  std::atomic<std::uint64_t> count{0};
};

// A port that was free a moment ago, for the worker (which binds by number) or the baseline.
std::uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("free port");
    std::exit(2);
  }
  close(fd);
  return ntohs(address.sin_port);
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

class Sender {
 public:
  Sender() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {}
  ~Sender() { close(fd_); }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;
  bool Send(const sockaddr_in& to, const std::string& text) const {
    return sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(text.size());
  }

 private:
  int fd_;
};

// Waits until counter passes `seen` (or the limit passes); yields so a busy machine still runs the receiver.
bool WaitPast(const std::atomic<std::uint64_t>& counter, std::uint64_t seen,
              std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (counter.load(std::memory_order_acquire) <= seen) {
    if (Clock::now() > end) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

// The running worker with a backend installed; stopped and uninstalled on destruction.
class RunningWorker {
 public:
  RunningWorker(srd::KeyBackend* backend, std::uint16_t port) {
    srd::InstallKeyBackend(backend);
    state_.port = port;
    srd::StartReceiver(state_);
  }
  ~RunningWorker() {
    state_.worker->Stop();
    srd::InstallKeyBackend(nullptr);
  }
  RunningWorker(const RunningWorker&) = delete;
  RunningWorker& operator=(const RunningWorker&) = delete;

 private:
  srd::ReceiverState state_;
};

// Probes until the worker has its endpoint open: the first datagram that makes an event proves it.
bool AwaitReady(const Sender& sender, const sockaddr_in& to, const std::atomic<std::uint64_t>& count) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::uint64_t seen = count.load(std::memory_order_acquire);
    sender.Send(to, "?u41");
    if (WaitPast(count, seen, std::chrono::milliseconds(100))) {
      return true;
    }
  }
  return false;
}

struct Percentiles {
  double p50, p99, p999, max, mean;
};

Percentiles Summarise(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  auto at = [&](double q) {
    const auto index = static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1));
    return samples[index];
  };
  double sum = 0;
  for (double v : samples) {
    sum += v;
  }
  return {at(0.5), at(0.99), at(0.999), samples.back(), sum / static_cast<double>(samples.size())};
}

int Latency(int datagrams) {
  StampingBackend backend;
  const std::uint16_t workerPort = FreePort();
  RunningWorker worker(&backend, workerPort);
  Sender sender;
  const sockaddr_in toWorker = Loopback(workerPort);
  if (!AwaitReady(sender, toWorker, backend.count)) {
    std::fprintf(stderr, "latency: the worker never received on port %u\n", workerPort);
    return 1;
  }

  // A second worker in the paired mode (the loop takes the installed paired end as it starts), with its
  // order record in a directory of its own; each datagram is sealed before the clock starts.
  if (!srd::seal::StartSealing()) {
    std::fprintf(stderr, "latency: the cryptographic library cannot start\n");
    return 1;
  }
  const srd::seal::Key key = srd::seal::NewKey();
  srd::test::ScopedTempDir orderDirectory("srd-bench");
  srd::seal::PairedReceiver paired(key, orderDirectory.Path() + "/sender-order");
  srd::InstallPairedReceiver(&paired);
  const std::uint16_t sealedPort = FreePort();
  RunningWorker sealedWorker(&backend, sealedPort);
  srd::seal::DatagramSealer sealer(key);
  const sockaddr_in toSealed = Loopback(sealedPort);
  bool sealedReady = false;
  for (int attempt = 0; attempt < 100 && !sealedReady; ++attempt) {
    const std::uint64_t seen = backend.count.load(std::memory_order_acquire);
    sender.Send(toSealed, sealer.Seal("?u41"));
    sealedReady = WaitPast(backend.count, seen, std::chrono::milliseconds(100));
  }
  if (!sealedReady) {
    std::fprintf(stderr, "latency: the paired worker never received on port %u\n", sealedPort);
    return 1;
  }

  // The baseline: the least a receiver can do, a blocking recvfrom into a buffer of the same size.
  const std::uint16_t basePort = FreePort();
  const int baseFd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in baseAddress = Loopback(basePort);
  baseAddress.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(baseFd, reinterpret_cast<sockaddr*>(&baseAddress), sizeof baseAddress) != 0) {
    std::perror("baseline bind");
    return 1;
  }
  std::atomic<std::int64_t> baseNs{0};
  std::atomic<std::uint64_t> baseCount{0};
  std::thread baseline([&] {
    char area[1025];
    sockaddr_in source{};
    for (;;) {
      socklen_t length = sizeof source;
      const ssize_t n = recvfrom(baseFd, area, 1024, 0, reinterpret_cast<sockaddr*>(&source), &length);
      if (n < 0 || (n == 4 && std::memcmp(area, "quit", 4) == 0)) {
        return;
      }
      area[n] = '\0';
      baseNs.store(NowNs(), std::memory_order_relaxed);
      baseCount.fetch_add(1, std::memory_order_release);
    }
  });
  const sockaddr_in toBaseline = Loopback(basePort);

  std::vector<double> workerUs;
  std::vector<double> sealedUs;
  std::vector<double> baseUs;
  workerUs.reserve(static_cast<std::size_t>(datagrams));
  sealedUs.reserve(static_cast<std::size_t>(datagrams));
  baseUs.reserve(static_cast<std::size_t>(datagrams));
  int lost = 0;
  auto measure = [&](const sockaddr_in& to, std::atomic<std::uint64_t>& count, std::atomic<std::int64_t>& at,
                     std::vector<double>& out) {
    const std::string text = &to == &toSealed ? sealer.Seal("?k41") : std::string("?k41");
    const std::uint64_t seen = count.load(std::memory_order_acquire);
    const std::int64_t sent = NowNs();
    sender.Send(to, text);
    if (!WaitPast(count, seen, std::chrono::milliseconds(1000))) {
      ++lost;
      return;
    }
    out.push_back(static_cast<double>(at.load(std::memory_order_relaxed) - sent) / 1000.0);
  };
  for (int i = 0; i < datagrams; ++i) {
    // Alternate which one goes first, so neither always meets the warmer caches.
    if (i % 2 == 0) {
      measure(toWorker, backend.count, backend.lastNs, workerUs);
      measure(toSealed, backend.count, backend.lastNs, sealedUs);
      measure(toBaseline, baseCount, baseNs, baseUs);
    } else {
      measure(toBaseline, baseCount, baseNs, baseUs);
      measure(toSealed, backend.count, backend.lastNs, sealedUs);
      measure(toWorker, backend.count, backend.lastNs, workerUs);
    }
  }
  sender.Send(toBaseline, "quit");
  baseline.join();
  close(baseFd);
  srd::InstallPairedReceiver(nullptr);
  if (workerUs.empty() || sealedUs.empty() || baseUs.empty()) {
    std::fprintf(stderr, "latency: nothing arrived\n");
    return 1;
  }

  const Percentiles w = Summarise(workerUs);
  const Percentiles b = Summarise(baseUs);
  const Percentiles p = Summarise(sealedUs);
  std::fprintf(stderr, "latency over %d datagrams (us): worker p50 %.1f p99 %.1f max %.1f; ", datagrams,
               w.p50, w.p99, w.max);
  std::fprintf(stderr, "sealed p50 %.1f p99 %.1f max %.1f; ", p.p50, p.p99, p.max);
  std::fprintf(stderr, "baseline p50 %.1f p99 %.1f max %.1f; lost %d\n", b.p50, b.p99, b.max, lost);
  Figure("latency.datagrams", datagrams);
  Figure("latency.lost", lost);
  Figure("latency.worker.p50_us", w.p50);
  Figure("latency.worker.p99_us", w.p99);
  Figure("latency.worker.p999_us", w.p999);
  Figure("latency.worker.max_us", w.max);
  Figure("latency.worker.mean_us", w.mean);
  Figure("latency.sealed.p50_us", p.p50);
  Figure("latency.sealed.p99_us", p.p99);
  Figure("latency.sealed.p999_us", p.p999);
  Figure("latency.sealed.max_us", p.max);
  Figure("latency.sealed.mean_us", p.mean);
  Figure("latency.ratio.sealed_p99", p.p99 / w.p99);
  Figure("latency.baseline.p50_us", b.p50);
  Figure("latency.baseline.p99_us", b.p99);
  Figure("latency.baseline.p999_us", b.p999);
  Figure("latency.baseline.max_us", b.max);
  Figure("latency.baseline.mean_us", b.mean);
  Figure("latency.ratio.p50", w.p50 / b.p50);
  Figure("latency.ratio.p99", w.p99 / b.p99);
  return 0;
}

// Counts events only; two per datagram of the throughput traffic.
class CountingBackend final : public srd::KeyBackend {
 public:
  void Inject(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override {
    count.fetch_add(1, std::memory_order_release);
  }
  const char* Name() const override { return "counting"; }
  std::atomic<std::uint64_t> count{0};
};

int Throughput(int seconds, const std::vector<long>& rates) {
  CountingBackend backend;
  const std::uint16_t port = FreePort();
  RunningWorker worker(&backend, port);
  Sender sender;
  const sockaddr_in to = Loopback(port);
  if (!AwaitReady(sender, to, backend.count)) {
    std::fprintf(stderr, "throughput: the worker never received on port %u\n", port);
    return 1;
  }
  const std::string text = "?k41u41";
  long best = 0;
  for (long rate : rates) {
    // Let anything left from the previous step arrive before counting afresh.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::uint64_t before = backend.count.load(std::memory_order_acquire);
    const long total = rate * seconds;
    long sent = 0;
    long sendFailures = 0;
    const auto start = Clock::now();
    while (sent < total) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      const long due = std::min(total, static_cast<long>(elapsed * static_cast<double>(rate)) + 1);
      while (sent < due) {
        if (!sender.Send(to, text)) {
          ++sendFailures;
        }
        ++sent;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    const double sendSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Drained when the count has stood still for 300 ms.
    std::uint64_t last = backend.count.load(std::memory_order_acquire);
    for (int quiet = 0; quiet < 3;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const std::uint64_t now = backend.count.load(std::memory_order_acquire);
      quiet = now == last ? quiet + 1 : 0;
      last = now;
    }
    const auto received = static_cast<long>((last - before) / 2);
    const long lost = sent - received;
    std::fprintf(
        stderr,
        "throughput %ld/s for %d s: sent %ld (achieved %.0f/s, %ld send failures), received %ld, lost %ld\n",
        rate, seconds, sent, static_cast<double>(sent) / sendSeconds, sendFailures, received, lost);
    const std::string prefix = "throughput." + std::to_string(rate);
    Figure((prefix + ".sent").c_str(), static_cast<double>(sent));
    Figure((prefix + ".achieved_per_s").c_str(), static_cast<double>(sent) / sendSeconds);
    Figure((prefix + ".lost").c_str(), static_cast<double>(lost));
    if (lost == 0 && sendFailures == 0) {
      best = std::max(best, rate);
    } else {
      break;  // higher rates lose more
    }
  }
  Figure("throughput.seconds", seconds);
  Figure("throughput.best_lossless_per_s", static_cast<double>(best));
  return 0;
}

int XTest(int events) {
  std::string whyNot;
  srd::XTestOptions options;
  std::unique_ptr<srd::XTestKeyBackend> backend = srd::XTestKeyBackend::Create(options, &whyNot);
  if (!backend) {
    std::fprintf(stderr, "xtest: %s\n", whyNot.c_str());
    return 1;
  }
  // As the program runs it: each code goes through the display's keyboard layout.
  backend->FollowLayout(srd::ReceiverLayout::Start(std::getenv("DISPLAY"), srd::WatchXLayout));
  const auto start = Clock::now();
  for (int i = 0; i < events / 2; ++i) {
    backend->Inject(0x41, 0, srd::KEYEVENT_PRESS, srd::KEY_EVENT_TAG);
    backend->Inject(0x41, 0, srd::KEYEVENT_KEYUP, srd::KEY_EVENT_TAG);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double perSecond = static_cast<double>(events / 2 * 2) / seconds;
  std::fprintf(stderr, "xtest: %d events in %.3f s\n", events / 2 * 2, seconds);
  Figure("xtest.events", events / 2 * 2);
  Figure("xtest.events_per_s", perSecond);
  Figure("xtest.us_per_event", 1e6 / perSecond);
  return 0;
}

std::vector<long> ParseRates(const char* text) {
  std::vector<long> rates;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    rates.push_back(std::strtol(item.c_str(), nullptr, 10));
  }
  return rates;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "latency") {
    return Latency(argc > 2 ? std::atoi(argv[2]) : 20000);
  }
  if (mode == "throughput") {
    return Throughput(argc > 2 ? std::atoi(argv[2]) : 10,
                      ParseRates(argc > 3 ? argv[3] : "5000,10000,20000,40000,80000,160000"));
  }
  if (mode == "xtest") {
    return XTest(argc > 2 ? std::atoi(argv[2]) : 20000);
  }
  std::fprintf(stderr, "usage: %s latency [datagrams] | throughput [seconds] [rates] | xtest [events]\n",
               argv[0]);
  return 2;
}
