#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace srd::test {

// Redirects file descriptor 2 into a temporary file for the lifetime of the object; Text() returns what was
// written so far, byte for byte.
class StderrCapture {
 public:
  StderrCapture() {
    char path[] = "/tmp/srd-stderr-XXXXXX";
    fd_ = ::mkstemp(path);
    ::unlink(path);
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fd_, STDERR_FILENO);
  }
  ~StderrCapture() { Restore(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string Text() const {
    std::string out;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
      const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
      if (n <= 0) {
        break;
      }
      out.append(buffer, static_cast<std::size_t>(n));
      offset += n;
    }
    return out;
  }

  void Restore() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
  }

 private:
  int fd_ = -1;
  int saved_ = -1;
};

}  // namespace srd::test
