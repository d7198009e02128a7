#include "diag/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "../support/stderr_capture.h"

namespace srd {
namespace {

struct Call {
  std::string line;
  std::uint32_t context1, context2;
  bool operator==(const Call&) const = default;
};

std::vector<Call>& Calls() {
  static std::vector<Call> calls;
  return calls;
}

int Record(const char* line, std::uint32_t context1, std::uint32_t context2) {
  Calls().push_back({line, context1, context2});
  return 0;
}

// Runs action with standard error captured; returns what arrived there.
template <typename Action>
std::string Stderr(Action action) {
  test::StderrCapture capture;
  action();
  capture.Restore();
  return capture.Text();
}

// Restores the process-wide switches and sinks whatever a test changed.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Calls().clear();
    SetLogCallback(&Record, 7, 9);
  }
  void TearDown() override {
    LogMode = 3;
    SocketErrorReporting = 1;
    SetLogCallback(nullptr, 0, 0);
    SetLogFile(-1);
  }
};

TEST_F(LogTest, DebugOutputGetsEachLineWholeWithItsLineEnd) {
  EXPECT_EQ(Stderr([] { LogReport("skIO:ERROR %s (%s/%x/%d)", "bind", "WSAEADDRINUSE", 10048u, 10048); }),
            "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n");
  EXPECT_EQ(Stderr([] { LogReport("%s", ""); }), "\r\n");
  // 0xE9 becomes the sign-extended unit 0xFFE9, written as its UTF-8 form EF BF A9.
  EXPECT_EQ(Stderr([] { LogReport("caf%c", 0xE9); }), "caf\xEF\xBF\xA9\r\n");
  EXPECT_TRUE(Calls().empty());  // the callback sink is off by default
}

TEST_F(LogTest, CallbackGetsTheLineAndContextWordsAndLongLinesAreCut) {
  LogMode = LOG_CALLBACK;  // debug output off: nothing on standard error
  EXPECT_EQ(Stderr([] { LogReport("n=%d", 5); }), "");
  EXPECT_EQ(Calls(), (std::vector<Call>{{"n=5\r\n", 7, 9}}));

  LogReport("%s", std::string(2000, 'x').c_str());
  ASSERT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Calls()[1].line, std::string(509, 'x') + "\r\n");

  // A trace produces nothing anywhere.
  LogMode = 3 | LOG_CALLBACK;
  EXPECT_EQ(Stderr([] { LogTrace("reset port=%d", 8102); }), "");
  EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(LogTest, FileSinkWritesOnlyWholeBlocksCutWithoutRegardToLineEnds) {
  char path[] = "/tmp/srd-log-XXXXXX";
  const int fd = ::mkstemp(path);
  ::unlink(path);
  SetLogFile(fd);
  LogMode = LOG_FILE;
  const auto size = [fd] { return ::lseek(fd, 0, SEEK_END); };

  LogWrite("");
  FlushLogFile();
  EXPECT_EQ(size(), 0);
  // Lines adding up to exactly 1024 bytes (502 + 402 + 120): one write of 1024 bytes, block empty again.
  LogReport("%s", std::string(500, 'a').c_str());
  LogReport("%s", std::string(400, 'a').c_str());
  EXPECT_EQ(size(), 0);
  LogReport("%s", std::string(118, 'a').c_str());
  EXPECT_EQ(size(), 1024);
  // One byte more stays in the block until the next 1023 arrive.
  LogWrite("b");
  LogWrite(std::string(1022, 'c').c_str());
  EXPECT_EQ(size(), 1024);
  LogWrite("d");
  EXPECT_EQ(size(), 2048);
  char second[1024];
  ASSERT_EQ(::pread(fd, second, sizeof second, 1024), 1024);
  EXPECT_EQ(second[0], 'b');
  EXPECT_EQ(second[1023], 'd');
  // A flush writes the part block; without a file nothing is written.
  LogReport("partial");
  FlushLogFile();
  EXPECT_EQ(size(), 2048 + 9);
  SetLogFile(-1);
  LogWrite("dropped");
  EXPECT_EQ(size(), 2048 + 9);
  ::close(fd);
}

TEST_F(LogTest, LinesFromManyThreadsNeverInterleave) {
  const std::string text = Stderr([] {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([t] {
        for (int i = 0; i < 200; ++i) {
          LogReport("thread %d line %03d %s", t, i, std::string(100, static_cast<char>('a' + t)).c_str());
        }
      });
    }
    for (auto& thread : threads) {
      thread.join();
    }
  });
  std::size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.size(), 118u) << line;
    EXPECT_EQ(line.substr(18), std::string(100, line.back()));
    start = end + 2;
    ++lines;
  }
  EXPECT_EQ(lines, 800);
}

}  // namespace
}  // namespace srd
