#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text_encoding.h"

// Standard input typed as it is read, in memory that does not grow with its length: the bytes are cut into
// pieces, whole lines where they are short enough, and each piece is checked character by character and
// turned into datagrams before any of it is sent. A character no key types refuses its piece and everything
// after it; the pieces before it have gone already.

namespace srd::sender {

class LayoutTyping;

// The longest piece: a longer line is checked and sent in pieces of about this many bytes, cut between
// characters.
inline constexpr std::size_t kMaxTextPiece = 16 * 1024;

class TextStream {
 public:
  // typing: the layout's keys (nullptr: a US keyboard), kept by the caller.
  explicit TextStream(const LayoutTyping* typing) : typing_(typing) {}

  // Takes bytes as read and gives the datagrams of the pieces they complete (none while a line is still
  // short and unfinished), or the refusal of the first character no key types.
  EncodedText Feed(std::string_view bytes);
  // At the end of the input: the rest, an unfinished last line included.
  EncodedText Finish();

 private:
  // Encodes the first `length` bytes of what is pending and forgets them.
  EncodedText Take(std::size_t length);

  const LayoutTyping* typing_;
  std::string pending_;  // at most kMaxTextPiece plus what one read adds, between calls under kMaxTextPiece
  TextPosition position_;
};

}  // namespace srd::sender
