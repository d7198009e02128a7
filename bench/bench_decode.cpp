// Decoding speed: a typical 9-byte datagram and a full 1024-byte one, through a recording key sink.
#include <benchmark/benchmark.h>

#include <string>

#include "full_datagram.h"
#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"
#include "receiver/key_commands.h"

namespace {

// Counts events without storing them, so the measurement is the decoder's and not the vector's.
class CountingBackend final : public srd::KeyBackend {
 public:
  void Inject(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override { ++events; }
  const char* Name() const override { return "counting"; }
  std::uint64_t events = 0;
};

void Run(benchmark::State& state, const std::string& text) {
  CountingBackend sink;
  srd::InstallKeyBackend(&sink);
  for (auto _ : state) {
    srd::DecodeKeyCommands(text.c_str());
    benchmark::ClobberMemory();
  }
  srd::InstallKeyBackend(nullptr);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["events"] = static_cast<double>(sink.events);
  state.counters["ns_per_event"] = benchmark::Counter(
      static_cast<double>(sink.events), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DecodeTypical(benchmark::State& state) {
  Run(state, "?K041U041");
}
BENCHMARK(BM_DecodeTypical);

void BM_DecodeFull1024(benchmark::State& state) {
  Run(state, srd::bench::FullDatagram("k41u41"));
}
BENCHMARK(BM_DecodeFull1024);

void BM_DecodeFull1024RecordingSink(benchmark::State& state) {
  const std::string text = srd::bench::FullDatagram("k41u41");
  srd::RecordingKeyBackend sink;
  srd::InstallKeyBackend(&sink);
  for (auto _ : state) {
    srd::DecodeKeyCommands(text.c_str());
    state.PauseTiming();
    sink.Clear();
    state.ResumeTiming();
  }
  srd::InstallKeyBackend(nullptr);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1024);
}
BENCHMARK(BM_DecodeFull1024RecordingSink);

}  // namespace

BENCHMARK_MAIN();
