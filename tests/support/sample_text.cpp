#include "sample_text.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace srd::test {
namespace {

constexpr std::array<std::string_view, 48> kWords = {
    "the",  "of",     "and",   "to",      "in",    "a",       "is",     "that",   "for",  "it",
    "as",   "was",    "with",  "be",      "by",    "on",      "not",    "he",     "this", "are",
    "or",   "his",    "from",  "at",      "which", "but",     "have",   "an",     "had",  "they",
    "you",  "were",   "their", "one",     "all",   "we",      "can",    "her",    "has",  "there",
    "keys", "window", "typed", "network", "quick", "machine", "letter", "message"};
constexpr std::array<std::string_view, 6> kEndings = {".", ".", ".", "?", "!", ";"};
constexpr std::array<std::string_view, 6> kAsides = {"(", ")", "\"", "'s", "-", ":"};
constexpr std::size_t kColumns = 72;

// A small linear congruential generator: the same text on every machine and library.
struct Random {
  std::uint32_t state;
  std::uint32_t Next(std::uint32_t bound) {
    state = state * 1664525U + 1013904223U;
    return (state >> 8) % bound;
  }
};

}  // namespace

std::string SampleText(std::size_t characters, unsigned seed) {
  Random random{seed};
  std::string text;
  std::size_t column = 0;
  bool sentenceStart = true;
  std::size_t sentences = 0;
  while (text.size() < characters) {
    std::string word;
    switch (random.Next(20)) {
      case 0:
        word = std::to_string(random.Next(2000));
        break;
      case 1:
        word = std::string(kAsides[random.Next(kAsides.size())]) +
               std::string(kWords[random.Next(kWords.size())]);
        break;
      default:
        word = kWords[random.Next(kWords.size())];
    }
    if (sentenceStart && word[0] >= 'a' && word[0] <= 'z') {
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    sentenceStart = false;
    const std::uint32_t punctuation = random.Next(12);
    if (punctuation == 0) {
      word += kEndings[random.Next(kEndings.size())];
      sentenceStart = true;
      ++sentences;
    } else if (punctuation == 1) {
      word += ",";
    }
    if (column > 0 && column + 1 + word.size() > kColumns) {
      text += '\n';
      column = 0;
      if (sentenceStart && sentences % 5 == 0) {
        text += '\n';  // a paragraph ends
      }
    } else if (column > 0) {
      text += ' ';
      ++column;
    }
    text += word;
    column += word.size();
  }
  text.resize(characters);
  return text;
}

}  // namespace srd::test
