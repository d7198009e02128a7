#pragma once

#include <cstdint>
#include <optional>

// The program's arguments: questions and commands that it answers without starting (--help, --version,
// --pair, --unpair), the port to start on (-p, --port), and anything else is refused rather than silently
// dropped.

namespace srd {

// What the arguments ask the program to start with.
struct StartChoices {
  std::optional<std::int32_t> port;  // -p/--port: 1 to 65535
};

// Answers --help or --version on standard output, runs --pair or --unpair, or refuses an unknown argument or
// a port that is not a number from 1 to 65535 with a line on standard error, and returns the exit code to end
// with (0, or 2 for bad usage). Returns nothing when the program is to start, with what it starts with in
// choices.
std::optional<int> AnswerCommandLine(int argc, char** argv, StartChoices& choices);

}  // namespace srd
