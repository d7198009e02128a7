#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace srd::test {

// A file the code under test writes its lines to in place of standard error, read back without touching the
// writer's stream.
class LayoutLines {
 public:
  LayoutLines() : file_(std::tmpfile()) {}
  ~LayoutLines() { std::fclose(file_); }
  LayoutLines(const LayoutLines&) = delete;
  LayoutLines& operator=(const LayoutLines&) = delete;

  std::FILE* File() const { return file_; }
  std::string Text() const {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = pread(fileno(file_), buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }
  bool Has(const std::string& line) const { return Text().find(line + "\n") != std::string::npos; }

 private:
  std::FILE* file_;
};

}  // namespace srd::test
