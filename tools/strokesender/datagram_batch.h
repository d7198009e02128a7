#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "command_line.h"

// Many characters in one datagram. Each character's datagram carries its whole press and release sequence;
// a batch joins whole sequences only, so a batch lost on the way loses whole characters and never leaves a
// key held, and a character is never split across two datagrams.

namespace srd::sender {

struct Batch {
  std::string datagram;    // "?" and the commands of one or more characters, at most the receiver's size
  std::size_t events = 0;  // key events the receiver injects for it
};

// The key events a datagram's commands make: one per press or release command.
std::size_t EventCount(const std::string& datagram);

// Joins the stroke datagrams ("?" followed by commands, each within maxBytes), in order, into as few
// datagrams of at most maxBytes as keep every stroke whole.
std::vector<Batch> BatchStrokes(const std::vector<std::string>& strokes,
                                std::size_t maxBytes = kMaxDatagramBytes);

}  // namespace srd::sender
