#pragma once

#include <cstddef>
#include <string>

// Files that only their user may read or change: the receiver's key, a sender's stored codes and the record
// of what was typed. They are read only when no one else could have written or read them, and replaced
// whole (a new file renamed over the old), so a crash leaves the old file or the new one, never half of one.

namespace srd::seal {

enum class ReadStatus {
  kRead,
  kMissing,  // no such file: not an error
  kRefused,  // whyNot says why
};

struct ReadResult {
  ReadStatus status = ReadStatus::kMissing;
  std::string text;
  std::string whyNot;  // kRefused: one clause naming the path, e.g. "/x/key can be read by others"
};

// Reads path, at most maxBytes of it. Refused when it is not a regular file of this user (a link is not
// followed), when its group or others may read or write it, when it is longer than maxBytes or cannot be
// read.
ReadResult ReadPrivateFile(const std::string& path, std::size_t maxBytes);

// Makes directory (and its parents) with mode 0700 where missing; an existing directory of this user that
// others can write to is refused, since they could swap the files in it. Empty on success, else the reason.
std::string MakePrivateDirectory(const std::string& directory);

// Replaces path with text: a file of mode 0600 beside it, written, flushed to the disk and renamed over it.
// Empty on success, else the reason; on failure path is unchanged.
std::string WritePrivateFile(const std::string& path, const std::string& text);

// Removes path; a missing file is no error. Empty on success, else the reason.
std::string RemovePrivateFile(const std::string& path);

// $XDG_CONFIG_HOME/program, or ~/.config/program; empty when neither it nor HOME is set.
std::string ConfigDirectory(const std::string& program);

}  // namespace srd::seal
