#include "datagram_batch.h"

#include <algorithm>

namespace srd::sender {

std::size_t EventCount(const std::string& datagram) {
  // The sender writes only key commands and lower-case hexadecimal digits, so every command letter in the
  // text starts a command.
  return static_cast<std::size_t>(std::count_if(
      datagram.begin(), datagram.end(), [](char c) { return c == 'k' || c == 'u' || c == 'K' || c == 'U'; }));
}

std::vector<Batch> BatchStrokes(const std::vector<std::string>& strokes, std::size_t maxBytes) {
  std::vector<Batch> batches;
  for (const std::string& stroke : strokes) {
    const std::string_view commands = std::string_view(stroke).substr(stroke.empty() ? 0 : 1);
    if (batches.empty() || batches.back().datagram.size() + commands.size() > maxBytes) {
      batches.push_back(Batch{"?", 0});
    }
    Batch& batch = batches.back();
    batch.datagram += commands;
    batch.events += EventCount(stroke);
  }
  return batches;
}

}  // namespace srd::sender
