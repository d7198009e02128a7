// strokesender's standard input, read in chunks of any size: it must type exactly what the whole text types
// (or be refused at the same place), never split a character, and never read beyond what it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text_encoding.h"
#include "text_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  // The first byte chooses the chunk size, the rest is the input.
  const std::size_t chunk = 1 + data[0] * 97u;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const srd::sender::EncodedText whole = srd::sender::EncodeText(text);

  srd::sender::TextStream stream(nullptr);
  std::vector<std::string> streamed;
  std::optional<srd::sender::TextRefusal> refusal;
  for (std::string_view rest = text;;) {
    const bool end = rest.empty();
    const std::string_view now = rest.substr(0, chunk);
    rest.remove_prefix(now.size());
    srd::sender::EncodedText piece = end ? stream.Finish() : stream.Feed(now);
    streamed.insert(streamed.end(), piece.datagrams.begin(), piece.datagrams.end());
    if (piece.refusal || end) {
      refusal = piece.refusal;
      break;
    }
  }
  if (whole.refusal.has_value() != refusal.has_value()) {
    std::abort();
  }
  if (!refusal) {
    if (streamed != whole.datagrams) {
      std::abort();
    }
    return 0;
  }
  // Refused at the same character, with only characters before it typed.
  if (refusal->index != whole.refusal->index || refusal->line != whole.refusal->line ||
      refusal->column != whole.refusal->column || streamed.size() >= refusal->index) {
    std::abort();
  }
  return 0;
}
