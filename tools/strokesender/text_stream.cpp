#include "text_stream.h"

namespace srd::sender {

namespace {

// Where to cut a piece of at most `limit` bytes off `text` that holds no line end within them: between two
// characters (never inside one's UTF-8 bytes), and not just after a CR, whose LF may follow and make them
// one line end.
std::size_t CutBefore(std::string_view text, std::size_t limit) {
  std::size_t cut = limit;
  for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back) {
    --cut;
  }
  if (cut > 0 && text[cut - 1] == '\r') {
    --cut;
  }
  return cut > 0 ? cut : limit;  // nothing but a stray CR or broken bytes: the check refuses them anyway
}

}  // namespace

EncodedText TextStream::Feed(std::string_view bytes) {
  EncodedText result;
  while (!bytes.empty()) {
    // A piece's worth at a time, so that what is pending stays bounded whatever one read brings.
    const std::size_t room = kMaxTextPiece - pending_.size();
    const std::string_view now = bytes.substr(0, room);
    bytes.remove_prefix(now.size());
    const std::size_t before = pending_.size();
    pending_.append(now);
    std::size_t length = 0;
    // What was pending before holds no line end (complete lines never stay): only the new bytes are looked
    // through, so reading a byte at a time costs no more than reading it all at once.
    if (const std::size_t lineEnd = now.rfind('\n'); lineEnd != std::string_view::npos) {
      length = before + lineEnd + 1;  // the complete lines
    } else if (pending_.size() >= kMaxTextPiece) {
      length = CutBefore(pending_, kMaxTextPiece - 1);
    }
    if (length == 0) {
      continue;
    }
    EncodedText piece = Take(length);
    if (piece.refusal) {
      return piece;
    }
    for (std::string& datagram : piece.datagrams) {
      result.datagrams.push_back(std::move(datagram));
    }
  }
  return result;
}

EncodedText TextStream::Finish() {
  return Take(pending_.size());
}

EncodedText TextStream::Take(std::size_t length) {
  EncodedText piece = EncodeText(std::string_view(pending_).substr(0, length), typing_, position_);
  pending_.erase(0, length);
  position_ = piece.end;
  return piece;
}

}  // namespace srd::sender
