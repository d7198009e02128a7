#include "diag/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "../support/stderr_capture.h"

namespace srd {
namespace {

// Restores the process-wide switches and sinks whatever a test changed.
class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LogMode = 3;
    SocketErrorReporting = 1;
    SetLogCallback(nullptr, 0, 0);
    SetLogFile(-1);
  }
};

TEST_F(LogTest, LineReachesStandardErrorWholeWithItsLineEnd) {
  test::StderrCapture capture;
  LogReport("skIO:ERROR %s (%s/%x/%d)", "bind", "WSAEADDRINUSE", 10048u, 10048);
  LogReport("%s", "");
  capture.Restore();
  EXPECT_EQ(capture.Text(), "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n\r\n");
}

TEST_F(LogTest, HighBytesStayVisibleAsSignExtendedUnits) {
  test::StderrCapture capture;
  LogReport("caf%c", 0xE9);
  capture.Restore();
  // 0xE9 becomes the unit 0xFFE9, written as its UTF-8 form EF BF A9.
  EXPECT_EQ(capture.Text(), "caf\xEF\xBF\xA9\r\n");
}

TEST_F(LogTest, TraceProducesNothingAnywhere) {
  int calls = 0;
  static int* counter = nullptr;
  counter = &calls;
  SetLogCallback([](const char*, std::uint32_t, std::uint32_t) { return ++*counter; }, 0, 0);
  LogMode = 3 | LOG_CALLBACK;
  test::StderrCapture capture;
  LogTrace("reset port=%d", 8102);
  capture.Restore();
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(calls, 0);
}

TEST_F(LogTest, LongLineIsCutToFitTheLineArea) {
  const std::string longText(2000, 'x');
  std::string received;
  static std::string* sink = nullptr;
  sink = &received;
  SetLogCallback([](const char* line, std::uint32_t, std::uint32_t) {
    *sink = line;
    return 0;
  }, 0, 0);
  LogMode = LOG_CALLBACK;
  LogReport("%s", longText.c_str());
  ASSERT_EQ(received.size(), 511u);
  EXPECT_EQ(received.substr(0, 509), std::string(509, 'x'));
  EXPECT_EQ(received.substr(509), "\r\n");
}

TEST_F(LogTest, CallbackGetsTheLineAndBothContextWords) {
  struct Seen {
    std::string line;
    std::uint32_t a = 0, b = 0;
  };
  static Seen seen;
  SetLogCallback([](const char* line, std::uint32_t a, std::uint32_t b) {
    seen = {line, a, b};
    return 0;
  }, 7, 9);
  LogMode = LOG_CALLBACK;  // debug output off: nothing on standard error
  test::StderrCapture capture;
  LogReport("n=%d", 5);
  capture.Restore();
  EXPECT_EQ(seen.line, "n=5\r\n");
  EXPECT_EQ(seen.a, 7u);
  EXPECT_EQ(seen.b, 9u);
  EXPECT_EQ(capture.Text(), "");
}

class FileSinkTest : public LogTest {
 protected:
  void SetUp() override {
    char path[] = "/tmp/srd-log-XXXXXX";
    fd_ = ::mkstemp(path);
    ::unlink(path);
    SetLogFile(fd_);
    LogMode = LOG_FILE;
  }
  void TearDown() override {
    LogTest::TearDown();
    ::close(fd_);
  }
  off_t FileSize() const { return ::lseek(fd_, 0, SEEK_END); }
  int fd_ = -1;
};

TEST_F(FileSinkTest, WritesOnlyWholeBlocksCutWithoutRegardToLineEnds) {
  // Lines adding up to exactly 1024 bytes: one write of 1024 bytes, block empty again.
  const std::string text(1022, 'a');  // + CR LF = 1024
  LogReport("%s", text.substr(0, 500).c_str());
  EXPECT_EQ(FileSize(), 0);
  LogReport("%s", text.substr(0, 400).c_str());
  EXPECT_EQ(FileSize(), 0);
  LogReport("%s", text.substr(0, 118).c_str());  // 502 + 402 + 120 = 1024
  EXPECT_EQ(FileSize(), 1024);
  // One byte more stays in the block until the next 1023 arrive.
  LogWrite("b");
  EXPECT_EQ(FileSize(), 1024);
  LogWrite(std::string(1022, 'c').c_str());
  EXPECT_EQ(FileSize(), 1024);
  LogWrite("d");
  EXPECT_EQ(FileSize(), 2048);
  char second[1024];
  ASSERT_EQ(::pread(fd_, second, sizeof second, 1024), 1024);
  EXPECT_EQ(second[0], 'b');
  EXPECT_EQ(second[1023], 'd');
}

TEST_F(FileSinkTest, EmptyLineAndNoFileWriteNothing) {
  LogWrite("");
  FlushLogFile();
  EXPECT_EQ(FileSize(), 0);
  SetLogFile(-1);
  LogWrite("dropped");
  EXPECT_EQ(FileSize(), 0);
}

TEST_F(FileSinkTest, FlushWritesThePartBlock) {
  LogReport("partial");
  FlushLogFile();
  EXPECT_EQ(FileSize(), 9);
}

TEST_F(LogTest, LinesFromManyThreadsNeverInterleave) {
  test::StderrCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        LogReport("thread %d line %03d %s", t, i, std::string(100, static_cast<char>('a' + t)).c_str());
      }
    });
  }
  for (auto& th : threads) {
    th.join();
  }
  capture.Restore();
  const std::string text = capture.Text();
  std::size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.size(), 118u) << line;
    const char fill = line.back();
    EXPECT_EQ(line.substr(18), std::string(100, fill));
    start = end + 2;
    ++lines;
  }
  EXPECT_EQ(lines, 800);
}

}  // namespace
}  // namespace srd
