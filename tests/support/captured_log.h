#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "diag/log.h"

namespace srd::test {

// Routes the log's callback sink into a list for the lifetime of the object (one at a time).
class CapturedLog {
 public:
  struct Line {
    std::string text;
    std::chrono::steady_clock::time_point at;
  };

  CapturedLog() {
    {
      std::lock_guard lock(Mutex());
      Lines().clear();
    }
    SetLogCallback(&CapturedLog::Sink, 0, 0);
    LogMode.fetch_or(LOG_CALLBACK);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;
  ~CapturedLog() {
    LogMode.fetch_and(~LOG_CALLBACK);
    SetLogCallback(nullptr, 0, 0);
  }

  std::vector<Line> Snapshot() const {
    std::lock_guard lock(Mutex());
    return Lines();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Line& line : Snapshot()) {
      texts.push_back(line.text);
    }
    return texts;
  }
  // Lines whose text starts with prefix.
  std::size_t Count(std::string_view prefix) const {
    std::size_t n = 0;
    for (const Line& line : Snapshot()) {
      n += line.text.starts_with(prefix) ? 1 : 0;
    }
    return n;
  }
  std::size_t Total() const { return Snapshot().size(); }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<Line>& Lines() {
    static std::vector<Line> lines;
    return lines;
  }
  static int Sink(const char* line, std::uint32_t, std::uint32_t) {
    std::lock_guard lock(Mutex());
    Lines().push_back({line, std::chrono::steady_clock::now()});
    return 0;
  }
};

}  // namespace srd::test
