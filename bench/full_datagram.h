#pragma once

#include <string>

namespace srd::bench {

// A datagram of the largest size the receiver takes (1024 bytes): "?", the command repeated as often as it
// fits, then spaces.
inline std::string FullDatagram(const char* command) {
  std::string text = "?";
  const std::string unit = command;
  while (text.size() + unit.size() <= 1024) {
    text += unit;
  }
  text.resize(1024, ' ');
  return text;
}

}  // namespace srd::bench
