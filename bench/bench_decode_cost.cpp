// Where the decoding time of a full datagram goes: the same 1024 bytes with no backend installed (every event
// stops at KeySink), and 1024 bytes of commands that produce no event at all (key 0): the reading of the text
// alone.
#include <benchmark/benchmark.h>

#include <string>

#include "full_datagram.h"
#include "platform/keys/key_sink.h"
#include "receiver/key_commands.h"

namespace {

void Run(benchmark::State& state, const std::string& text) {
  srd::InstallKeyBackend(nullptr);
  for (auto _ : state) {
    srd::DecodeKeyCommands(text.c_str());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void BM_DecodeFull1024NoBackend(benchmark::State& state) {
  Run(state, srd::bench::FullDatagram("k41u41"));
}
BENCHMARK(BM_DecodeFull1024NoBackend);

void BM_DecodeCommands1024NoEvents(benchmark::State& state) {
  Run(state, srd::bench::FullDatagram("k00u00"));
}
BENCHMARK(BM_DecodeCommands1024NoEvents);

}  // namespace

BENCHMARK_MAIN();
