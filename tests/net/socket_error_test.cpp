#include "net/socket_error.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <set>
#include <string>

#include "../support/stderr_capture.h"

namespace srd {
namespace {

std::string ReportFor(std::int32_t code, const char* label) {
  test::StderrCapture capture;
  SetLastSocketError(code);
  ReportSocketError(label);
  capture.Restore();
  return capture.Text();
}

TEST(ReportSocketErrorTest, ExactLines) {
  EXPECT_EQ(ReportFor(10048, "bind"), "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n");
  EXPECT_EQ(ReportFor(10040, "recvfrom"), "skIO:ERROR recvfrom (WSAEMSGSIZE/2738/10040)\r\n");
  EXPECT_EQ(ReportFor(11004, "gethostbyname"), "skIO:ERROR gethostbyname (WSANO_DATA/2afc/11004)\r\n");
  EXPECT_EQ(ReportFor(10059, "select"), "skIO:ERROR select (/274b/10059)\r\n");
  EXPECT_EQ(ReportFor(0, "open"), "skIO:ERROR open (/0/0)\r\n");
  EXPECT_EQ(ReportFor(-1, "open"), "skIO:ERROR open (/ffffffff/-1)\r\n");
}

TEST(ReportSocketErrorTest, ReadsTheErrorOfTheFailedCallFirst) {
  errno = EADDRINUSE;
  SetLastSocketErrorFromErrno();
  errno = 0;  // later calls must not change what is reported
  test::StderrCapture capture;
  ReportSocketError("bind");
  capture.Restore();
  EXPECT_EQ(capture.Text(), "skIO:ERROR bind (WSAEADDRINUSE/2740/10048)\r\n");
}

TEST(SocketErrorNameTest, ExactlyTheFortyEightNamedCodes) {
  const std::set<std::int32_t> named = {6,     8,     87,    995,   997,   10004, 10013, 10014, 10022, 10024,
                                        10035, 10036, 10037, 10038, 10039, 10040, 10041, 10042, 10043, 10044,
                                        10045, 10046, 10047, 10048, 10049, 10050, 10051, 10052, 10053, 10054,
                                        10055, 10056, 10057, 10058, 10060, 10061, 10064, 10065, 10067, 10091,
                                        10093, 10101, 10107, 10109, 11001, 11002, 11003, 11004};
  ASSERT_EQ(named.size(), 48u);
  for (std::int32_t code = -5; code < 12000; ++code) {
    const std::string name = SocketErrorName(code);
    EXPECT_EQ(!name.empty(), named.count(code) == 1) << code;
  }
  EXPECT_STREQ(SocketErrorName(6), "WSA_INVALID_HANDLE");
  EXPECT_STREQ(SocketErrorName(10038), "WSAENOTSOCK");
  EXPECT_STREQ(SocketErrorName(10109), "WSATYPE_NOT_FOUND");
  EXPECT_STREQ(SocketErrorName(11001), "WSAHOST_NOT_FOUND");
  EXPECT_STREQ(SocketErrorName(-2147483647 - 1), "");
}

TEST(SocketErrorTranslationTest, SameConditionsAndClosestOnes) {
  struct Row {
    int errnoValue;
    std::int32_t code;
  };
  // An invalid socket handle reads as WSAENOTSOCK; a condition with no counterpart as a failed system call.
  const Row rows[] = {{0, 0},          {EINTR, 10004},  {EBADF, 10038},    {EINVAL, 10022},
                      {ENFILE, 10024}, {EAGAIN, 10035}, {EMSGSIZE, 10040}, {EADDRINUSE, 10048},
                      {ENOMEM, 10055}, {ENODEV, 10107}};
  for (const Row& r : rows) {
    EXPECT_EQ(SocketErrorFromErrno(r.errnoValue), r.code) << r.errnoValue;
  }
  EXPECT_EQ(SocketErrorFromAddrInfo(EAI_NONAME), 11001);
  EXPECT_EQ(SocketErrorFromAddrInfo(EAI_AGAIN), 11002);
  EXPECT_EQ(SocketErrorFromAddrInfo(EAI_FAIL), 11003);
  EXPECT_EQ(SocketErrorFromHostError(HOST_NOT_FOUND), 11001);
  EXPECT_EQ(SocketErrorFromHostError(NO_DATA), 11004);
}

}  // namespace
}  // namespace srd
