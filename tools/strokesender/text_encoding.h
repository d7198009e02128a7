#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "key_stroke.h"

// Text typed as a US keyboard types it: one stroke per character, Shift held for capitals and shifted
// symbols, newline as Return and tab as Tab. Characters such a keyboard has no key for are refused, never
// approximated.

namespace srd::sender {

// The stroke that types character c on a US keyboard, or nothing when no key types it. Newline is Return and
// tab is Tab; every other control character has no stroke.
std::optional<KeyStroke> UsKeyboardStroke(char32_t c);

// Why a text cannot be typed, and where: the first character that stops it.
struct TextRefusal {
  bool invalidUtf8 = false;  // the bytes there are not UTF-8; badByte holds the first of them
  unsigned char badByte = 0;
  char32_t codePoint = 0;  // the character without a key (when the bytes are valid)
  std::size_t index = 0;   // 1-based position among the characters of the text
  std::size_t line = 0;    // 1-based line and column (in characters) of the same position
  std::size_t column = 0;
  std::string keyboard = "a US keyboard";  // what has no key for it: "a US keyboard", "the de layout"
};

// Where a text begins within a longer one (standard input typed piece by piece): the characters, the line
// and the column before it, so that a refusal names its place in the whole.
struct TextPosition {
  std::size_t index = 0;  // characters before
  std::size_t line = 1;
  std::size_t column = 0;  // characters before on that line
};

struct EncodedText {
  std::vector<std::string> datagrams;  // one per character, in order; empty when refused
  std::optional<TextRefusal> refusal;
  TextPosition end;  // where the next text would begin (when not refused)
};

// Turns UTF-8 text into one datagram per character. A carriage return directly before a newline belongs to
// that line end and types nothing of its own, so text with CR LF line ends types the same as with LF.
// With typing, the text is typed with the keys of that layout (a dead key and its base character travel in
// one datagram); without, as on a US keyboard.
class LayoutTyping;
EncodedText EncodeText(std::string_view utf8, const LayoutTyping* typing = nullptr, TextPosition start = {});

// A one-line description of a refusal (without program name): the character as U+XXXX, the character itself
// when it is printable, and the position: "line L, column C" when byLine, otherwise "character N".
std::string DescribeRefusal(const TextRefusal& refusal, bool byLine);

// Decodes one UTF-8 character from the start of bytes (not empty). Returns the character and its length, or
// nothing when the bytes there are not UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
// incomplete is set when the bytes are a valid but unfinished beginning of a character.
struct Utf8Character {
  char32_t codePoint;
  std::size_t length;
};
std::optional<Utf8Character> DecodeUtf8Character(std::string_view bytes, bool* incomplete = nullptr);

}  // namespace srd::sender
