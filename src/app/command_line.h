#pragma once

#include <optional>

// The program's arguments. It takes no options that change what it does: only questions and commands that it
// answers without starting (--help, --version, --pair, --unpair), and anything else is refused rather than
// silently dropped.

namespace srd {

// Answers --help or --version on standard output, runs --pair or --unpair, or refuses an unknown argument
// with a usage line on standard error, and returns the exit code to end with (0, or 2 for bad usage). Returns
// nothing when there are no arguments and the program is to start.
std::optional<int> AnswerCommandLine(int argc, char** argv);

}  // namespace srd
