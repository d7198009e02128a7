// Standard error as log readers leave it: a pipe whose reader went away, and one that nobody reads. The
// program types on and stops on SIGTERM; what it could not write is dropped, and the count told once the
// reader catches up.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "process_faults_fixture.h"

namespace srd::test {
namespace {

// Too long for the receive area: each one costs the program a recvfrom line.
const std::string kOversized(2000, 'x');
constexpr std::string_view kRecvfromLine = "skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n";

// A pipe for the program's standard error; the test keeps the read end, non-blocking, or closes it.
class StderrPipe {
 public:
  StderrPipe() {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read_ = ends[0];
      write_ = ends[1];
      fcntl(read_, F_SETFL, O_NONBLOCK);
    }
  }
  ~StderrPipe() {
    CloseReadEnd();
    CloseWriteEnd();
  }
  StderrPipe(const StderrPipe&) = delete;
  StderrPipe& operator=(const StderrPipe&) = delete;

  int WriteEnd() const { return write_; }
  // Once the program has its copy: the program's end alone keeps the pipe open for writing.
  void CloseWriteEnd() { CloseFd(write_); }
  void CloseReadEnd() { CloseFd(read_); }
  // Everything the pipe holds now.
  std::string ReadAvailable() const {
    std::string text;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(read_, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  static void CloseFd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
  int read_ = -1;
  int write_ = -1;
};

class StandardErrorFaults : public XTestProcessFaults {
 protected:
  std::unique_ptr<ProgramProcess> StartWritingTo(StderrPipe& pipe) {
    ProgramOptions options = OnDisplay(server_);
    options.stderrFd = pipe.WriteEnd();
    auto program = std::make_unique<ProgramProcess>(options);
    pipe.CloseWriteEnd();
    return Bound(*program) ? std::move(program) : nullptr;
  }
};

TEST_F(StandardErrorFaults, AReaderThatWentAwayCostsTheLinesOnly) {
  StderrPipe pipe;
  pipe.CloseReadEnd();  // as `2> >(exit 0)` leaves it
  auto program = StartWritingTo(pipe);
  ASSERT_TRUE(program);
  ASSERT_TRUE(SendAndDrain(*program, 10, nullptr, kOversized));
  ASSERT_TRUE(program->Running()) << "ended with " << program->WaitExit(seconds(1));
  EXPECT_TRUE(TypesAKey(*observer_));
  ExpectCleanStop(*program);
}

TEST_F(StandardErrorFaults, AReaderThatDoesNotKeepUpNeverStopsTheTypingAndLearnsWhatWasDropped) {
  StderrPipe pipe;
  auto program = StartWritingTo(pipe);
  ASSERT_TRUE(program);
  // 3000 lines are twice what the pipe holds. Small batches, so that the socket's queue drops none.
  constexpr int kSent = 3000;
  for (int sent = 0; sent < kSent; sent += 20) {
    ASSERT_TRUE(SendAndDrain(*program, 20, nullptr, kOversized)) << "stopped receiving after " << sent;
  }
  EXPECT_TRUE(TypesAKey(*observer_)) << "no longer types while the pipe is full";

  // The reader catches up: whole lines only, and the count of those that did not fit follows them.
  std::string text;
  const std::string_view countStart = "skIO: ";
  ASSERT_TRUE(WaitUntil([&] {
    text += pipe.ReadAvailable();
    return text.find(" lines dropped\r\n") != std::string::npos;
  })) << "no count of the dropped lines";
  const std::size_t countAt = text.find(countStart);
  const unsigned long dropped = std::strtoul(text.c_str() + countAt + countStart.size(), nullptr, 10);
  // Every diagnostic line is whole (the window toolkit may have said things of its own in between).
  std::size_t written = 0;
  std::size_t lineStart = 0;
  for (std::size_t end = text.find('\n'); end < countAt; end = text.find('\n', lineStart)) {
    const std::string_view line(text.data() + lineStart, end + 1 - lineStart);
    if (line.starts_with("skIO")) {
      EXPECT_EQ(line, kRecvfromLine) << "a line was cut or two ran together";
      ++written;
    }
    lineStart = end + 1;
  }
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(written + dropped, static_cast<std::size_t>(kSent));
  ExpectCleanStop(*program);
}

}  // namespace
}  // namespace srd::test
