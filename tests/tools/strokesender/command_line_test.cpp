#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace srd::sender {
namespace {

TEST(CommandLine, AcceptsTheDocumentedForms) {
  struct Case {
    std::vector<std::string_view> args;
    Action action;
    std::string host;
    std::uint16_t port;
    int delayMs;
    bool hasText;
    std::string text;
    std::string datagram;
  };
  const Case cases[] = {
      {{"host"}, Action::kType, "host", 8102, 2, false, "", ""},
      {{"169.254.2.1", "Hello"}, Action::kType, "169.254.2.1", 8102, 2, true, "Hello", ""},
      {{"-p", "9000", "-d", "0", "h", "x y"}, Action::kType, "h", 9000, 0, true, "x y", ""},
      {{"h", "t", "-p9001", "--delay=15"}, Action::kType, "h", 9001, 15, true, "t", ""},
      {{"--port", "1", "h", "--", "-not-an-option"}, Action::kType, "h", 1, 2, true, "-not-an-option", ""},
      {{"h", ""}, Action::kType, "h", 8102, 2, true, "", ""},
      {{"h", "-"}, Action::kType, "h", 8102, 2, true, "-", ""},
      {{"-p", "65535", "h", "--raw", "K041U041"}, Action::kRaw, "h", 65535, 2, false, "", "?K041U041"},
      {{"h", "--raw=?k41u41"}, Action::kRaw, "h", 8102, 2, false, "", "?k41u41"},
      {{"h", "--raw", " K041 "}, Action::kRaw, "h", 8102, 2, false, "", "? K041 "},
      {{"--window", "-p", "9000", "h"}, Action::kWindow, "h", 9000, 2, false, "", ""},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    SCOPED_TRACE(std::string(c.args.front()));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.action, c.action);
    EXPECT_EQ(parsed.options.host, c.host);
    EXPECT_EQ(parsed.options.port, c.port);
    EXPECT_EQ(parsed.options.delayMs, c.delayMs);
    EXPECT_EQ(parsed.options.hasText, c.hasText);
    EXPECT_EQ(parsed.options.text, c.text);
    EXPECT_EQ(parsed.options.datagram, c.datagram);
  }
}

TEST(CommandLine, HelpWinsOverEverythingElse) {
  EXPECT_EQ(ParseCommandLine({"host", "-h", "--bogus"}).options.action, Action::kHelp);
}

TEST(CommandLine, RejectsBadUsageWithAReason) {
  const std::string tooLong(1024, 'k');  // 1025 bytes once "?" is added
  const std::string justFits = "?" + std::string(1023, 'k');
  struct Case {
    std::vector<std::string_view> args;
    const char* reason;
  };
  const Case cases[] = {
      {{}, "missing HOST"},
      {{"-p", "9000"}, "missing HOST"},
      {{""}, "empty HOST"},
      {{"h", "a", "b"}, "unexpected 'b'"},
      {{"-x", "h"}, "unknown option '-x'"},
      {{"h", "-p"}, "needs a value"},
      {{"-p", "0", "h"}, "invalid port '0'"},
      {{"-p", "65536", "h"}, "invalid port"},
      {{"-p", "80x", "h"}, "invalid port"},
      {{"-d", "-1", "h"}, "invalid delay"},
      {{"-d", "60001", "h"}, "invalid delay"},
      {{"h", "text", "--raw", "K041"}, "--raw sends COMMANDS only"},
      {{"h", "--raw", "a", "--raw", "b"}, "twice"},
      {{"h", "--raw", tooLong}, "1025 bytes"},
      // Nothing the receiver would type: no command letter before the end or a line end.
      {{"h", "--raw", "ZZZ"}, "holds no key command"},
      {{"h", "--raw", ""}, "holds no key command"},
      {{"h", "--raw", "?"}, "holds no key command"},
      {{"h", "--raw", "12\nK041"}, "holds no key command"},
      {{"--window", "h", "text"}, "unexpected 'text'"},
      {{"--window", "h", "--raw", "K041"}, "cannot be combined"},
      {{"--window"}, "missing HOST"},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    EXPECT_FALSE(parsed.ok) << c.reason;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
  }
  EXPECT_TRUE(ParseCommandLine(std::vector<std::string_view>{"h", "--raw", justFits}).ok);
}

}  // namespace
}  // namespace srd::sender
