// Characters lost on a link that drops datagrams, with and without the sender's repeats:
//   bench_lossy_link [characters] [runs]
// Each run types a text (the tests' sample prose) sealed through a seeded relay on loopback that drops each
// datagram copy at random with the given rate, into the running receive loop; the text goes in the sender's
// default batches. Every figure is printed as one "name value" line after a readable summary.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "command_line.h"
#include "support/lossy_link.h"
#include "support/sample_text.h"

int main(int argc, char** argv) {
  const int characters = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 30;
  const std::string text = srd::test::SampleText(static_cast<std::size_t>(characters));
  std::printf("lossy.characters %d\nlossy.runs %d\n", characters, runs);
  for (int percent : {0, 5, 10, 15, 20, 25, 30}) {
    for (int copies : {1, 2, 3, 4}) {
      std::size_t lost = 0;
      std::size_t datagrams = 0;
      std::size_t dropped = 0;
      std::size_t sent = 0;
      int wholeRuns = 0;
      bool stray = false;
      for (int run = 0; run < runs; ++run) {
        const srd::test::LossyLinkRun result = srd::test::RunLossyLink(
            text, percent / 100.0, static_cast<unsigned>(1000 * percent + run), copies);
        if (!result.ran) {
          std::fprintf(stderr, "lossy: the receiver or the relay did not come up\n");
          return 1;
        }
        lost += result.charactersLost;
        datagrams += result.datagrams;
        dropped += result.copiesDropped;
        sent += result.copiesSent;
        wholeRuns += result.charactersLost == 0 ? 1 : 0;
        stray = stray || result.strayEvents;
      }
      const double lostPercent = 100.0 * static_cast<double>(lost) / (static_cast<double>(characters) * runs);
      std::fprintf(stderr,
                   "drop %2d%%, %d cop%s: %zu of %d characters lost (%.2f%%), %d of %d runs whole, "
                   "%zu of %zu copies dropped%s\n",
                   percent, copies, copies == 1 ? "y" : "ies", lost, characters * runs, lostPercent,
                   wholeRuns, runs, dropped, sent, stray ? ", OUT OF ORDER" : "");
      const std::string name = "lossy." + std::to_string(percent) + ".copies" + std::to_string(copies);
      std::printf("%s.lost_percent %.6g\n%s.whole_runs %d\n%s.datagrams_per_run %.6g\n%s.out_of_order %d\n",
                  name.c_str(), lostPercent, name.c_str(), wholeRuns, name.c_str(),
                  static_cast<double>(datagrams) / runs, name.c_str(), stray ? 1 : 0);
    }
  }
  return 0;
}
