#include "diag/log.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sys/debug_output.h"

namespace srd {

std::atomic<std::uint32_t> LogMode{3};
std::atomic<std::int32_t> SocketErrorReporting{1};

namespace {

// The sinks' shared areas. LogWrite serves one line at a time under g_logLock, because lines come from the
// worker thread and, in tests and future callers, from others.
std::mutex g_logLock;
char16_t g_wideArea[LOG_WIDE_AREA];
int g_logFile = -1;
unsigned char g_fileBlock[LOG_FILE_BLOCK];
std::size_t g_filePosition = 0;
LogCallback g_callback = nullptr;
std::uint32_t g_callbackContext1 = 0;
std::uint32_t g_callbackContext2 = 0;
// Lines the debug output refused since it last took one: told in one line once it takes lines again. Changed
// under g_logLock; read without it by the idle check in LogReportDropped.
std::atomic<std::uint32_t> g_droppedLines{0};

void WriteBlock(std::size_t count) {
  const unsigned char* p = g_fileBlock;
  while (count > 0) {
    const ssize_t written = ::write(g_logFile, p, count);
    if (written <= 0) {
      return;  // A failed or short write is not reported; the log never reports on itself.
    }
    p += written;
    count -= static_cast<std::size_t>(written);
  }
}

// The file sink proper; the caller holds g_logLock.
void LogToFileLocked(const char* line) {
  if (g_logFile == -1 || line[0] == '\0') {
    return;
  }
  for (const char* p = line; *p != '\0'; ++p) {
    g_fileBlock[g_filePosition++] = static_cast<unsigned char>(*p);
    if (g_filePosition == LOG_FILE_BLOCK) {
      if (g_logFile != -1) {
        WriteBlock(LOG_FILE_BLOCK);
      }
      g_filePosition = 0;
    }
  }
}

// The debug sink proper; the caller holds g_logLock. One byte to one unit, the byte taken as a signed 8-bit
// number: 0x80-0xFF become 0xFF80-0xFFFF.
bool ToDebugOutputLocked(const char* line) {
  std::size_t i = 0;
  for (; i + 1 < LOG_WIDE_AREA && line[i] != '\0'; ++i) {
    g_wideArea[i] = static_cast<char16_t>(static_cast<std::int16_t>(static_cast<signed char>(line[i])));
  }
  g_wideArea[i] = 0;
  return DebugOutput(g_wideArea);
}

// Tells the debug output how many lines it refused, if it takes that line now; the caller holds g_logLock.
// False while the channel still refuses.
bool ReportDroppedLocked() {
  const std::uint32_t dropped = g_droppedLines.load(std::memory_order_relaxed);
  if (dropped == 0) {
    return true;
  }
  char line[64];
  std::snprintf(line, sizeof line, "skIO: %u %s dropped\r\n", dropped, dropped == 1 ? "line" : "lines");
  if (!ToDebugOutputLocked(line)) {
    return false;
  }
  g_droppedLines.store(0, std::memory_order_relaxed);
  return true;
}

}  // namespace

void SetLogCallback(LogCallback callback, std::uint32_t context1, std::uint32_t context2) {
  std::lock_guard lock(g_logLock);
  g_callback = callback;
  g_callbackContext1 = context1;
  g_callbackContext2 = context2;
}

void SetLogFile(int fd) {
  std::lock_guard lock(g_logLock);
  g_logFile = fd;
  g_filePosition = 0;
}

void FlushLogFile() {
  std::lock_guard lock(g_logLock);
  if (g_logFile != -1 && g_filePosition > 0) {
    WriteBlock(g_filePosition);
  }
  g_filePosition = 0;
}

void LogReport(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  LogReportV(format, arguments);
  va_end(arguments);
}

void LogReportV(const char* format, va_list arguments) {
  char line[LOG_LINE_AREA];
  // Room for the text, then CR LF and the NUL: at most 509 characters of text. A longer text is cut there.
  constexpr std::size_t kTextRoom = LOG_LINE_AREA - 3;
  const int formatted = std::vsnprintf(line, kTextRoom + 1, format, arguments);
  std::size_t length = 0;
  if (formatted > 0) {
    length =
        static_cast<std::size_t>(formatted) < kTextRoom ? static_cast<std::size_t>(formatted) : kTextRoom;
  }
  line[length] = '\r';
  line[length + 1] = '\n';
  line[length + 2] = '\0';
  LogWrite(line);
}

void LogWrite(const char* line) {
  std::lock_guard lock(g_logLock);
  const std::uint32_t mode = LogMode.load(std::memory_order_relaxed);
  if ((mode & LOG_FILE) != 0) {
    LogToFileLocked(line);
  }
  if ((mode & LOG_DEBUG) != 0) {
    // Whoever writes a line (the worker, which types the keys) never waits for the channel's reader: what it
    // cannot take now is counted instead, and the count comes ahead of the next line it takes.
    if (!ReportDroppedLocked() || !ToDebugOutputLocked(line)) {
      g_droppedLines.fetch_add(1, std::memory_order_relaxed);
    }
  }
  if ((mode & LOG_CALLBACK) != 0 && g_callback != nullptr) {
    g_callback(line, g_callbackContext1, g_callbackContext2);
  }
}

void LogToFile(const char* line) {
  std::lock_guard lock(g_logLock);
  LogToFileLocked(line);
}

void LogReportDropped() {
  if (g_droppedLines.load(std::memory_order_relaxed) == 0) {
    return;
  }
  std::lock_guard lock(g_logLock);
  ReportDroppedLocked();
}

void LogTrace(const char* /*format*/, ...) {}

}  // namespace srd
