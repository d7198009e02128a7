#pragma once

#include <cstddef>
#include <string>

namespace srd::test {

// Plain English-like prose of exactly `characters` characters, the same for the same seed: sentences of
// common words with capitals, digits, commas and other punctuation, lines of at most 72 columns and blank
// lines between paragraphs. Only characters a US keyboard types.
std::string SampleText(std::size_t characters, unsigned seed = 1);

}  // namespace srd::test
