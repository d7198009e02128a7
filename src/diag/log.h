#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>

// The diagnostic log: printf-style lines to the sinks that LogMode enables (debug output by default).

namespace srd {

// LogMode bits.
inline constexpr std::uint32_t LOG_DEBUG = 0x2;      // debug output channel (standard error)
inline constexpr std::uint32_t LOG_FILE = 0x4;       // block-buffered log file
inline constexpr std::uint32_t LOG_CALLBACK = 0x10;  // installed LogCallback

// Sizes of the log's areas.
inline constexpr std::size_t LOG_LINE_AREA = 512;    // formatted text + CR LF + NUL
inline constexpr std::size_t LOG_WIDE_AREA = 1024;   // UTF-16 units handed to the debug output
inline constexpr std::size_t LOG_FILE_BLOCK = 1024;  // bytes the file sink writes at a time

// Which sinks receive each line; 3 by default (debug output on). Nothing in the program changes it.
extern std::atomic<std::uint32_t> LogMode;
// Non-zero: the datagram endpoint reports failing socket calls; 1 by default.
extern std::atomic<std::int32_t> SocketErrorReporting;

// The callback sink: the line and the two context words. Its result is not used. It must not write to the log
// itself: it runs while the log serves that line.
using LogCallback = int (*)(const char* line, std::uint32_t context1, std::uint32_t context2);

// Installs the callback sink (nullptr: none) and its two context words.
void SetLogCallback(LogCallback callback, std::uint32_t context1, std::uint32_t context2);

// Points the file sink at an open file descriptor (-1: no file) and empties the block.
void SetLogFile(int fd);
// Writes out a partly filled block, e.g. before the file is closed at exit.
void FlushLogFile();

void LogReport(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogReportV(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));
void LogWrite(const char* line);
void LogToFile(const char* line);
// The debug output drops the lines it cannot take at once (a reader that went away or does not keep up) and
// counts them; the count is told in one line, "skIO: N lines dropped", ahead of the next line it takes. This
// tells it as soon as the channel takes it, without waiting for another line: for a caller's idle moments.
void LogReportDropped();
// Takes LogReport's arguments and discards them: no formatting, no output.
void LogTrace(const char* format, ...);

}  // namespace srd
