#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace srd::test {

// Plain English-like prose of exactly `characters` characters, the same for the same seed: sentences of
// common words with capitals, digits, commas and other punctuation, lines of at most 72 columns and blank
// lines between paragraphs. Only characters a US keyboard types.
std::string SampleText(std::size_t characters, unsigned seed = 1);

// A sentence to type on a keyboard layout, for tests parameterised by layout (named by it in test names).
struct Sentence {
  const char* layout;
  const char* text;
};
inline void PrintTo(const Sentence& s, std::ostream* out) {
  *out << s.layout;
}

}  // namespace srd::test
