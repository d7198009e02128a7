#include "platform/keys/uinput_key_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uinput.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/keys/vk_table.h"

namespace srd {
namespace {

constexpr int kFd = 7;

struct Call {
  explicit Call(std::string w, unsigned long r = 0, std::uintptr_t a = 0)
      : what(std::move(w)), request(r), arg(a) {}
  std::string what;  // "open", "ioctl", "write", "close"
  unsigned long request;
  std::uintptr_t arg;
  std::vector<input_event> events;  // for writes
};

struct KernelLog {
  std::vector<Call> calls;
  uinput_setup setup{};
  int openResult = kFd;
  unsigned long failingRequest = 0;  // an ioctl that fails with EINVAL
  int openFlags = 0;
  std::string openPath;
};

class FakeKernel final : public UinputKernel {
 public:
  explicit FakeKernel(std::shared_ptr<KernelLog> log) : log_(std::move(log)) {}
  int Open(const char* path, int flags) override {
    log_->calls.emplace_back("open");
    log_->openPath = path;
    log_->openFlags = flags;
    return log_->openResult;
  }
  int Ioctl(int fd, unsigned long request, std::uintptr_t arg) override {
    EXPECT_EQ(fd, kFd);
    log_->calls.emplace_back("ioctl", request, arg);
    if (request == UI_DEV_SETUP) {
      std::memcpy(&log_->setup, reinterpret_cast<const void*>(arg), sizeof log_->setup);
    }
    return request == log_->failingRequest ? -EINVAL : 0;
  }
  long Write(int fd, const void* data, std::size_t size) override {
    EXPECT_EQ(fd, kFd);
    EXPECT_EQ(size % sizeof(input_event), 0u);
    Call call("write");
    call.events.resize(size / sizeof(input_event));
    std::memcpy(call.events.data(), data, size);
    log_->calls.push_back(call);
    return static_cast<long>(size);
  }
  int Close(int fd) override {
    EXPECT_EQ(fd, kFd);
    log_->calls.emplace_back("close");
    return 0;
  }

 private:
  std::shared_ptr<KernelLog> log_;
};

std::unique_ptr<UinputKeyBackend> MakeBackend(const std::shared_ptr<KernelLog>& log, std::string* whyNot) {
  return UinputKeyBackend::Create(std::make_unique<FakeKernel>(log), "/dev/uinput", whyNot);
}

// The key events (code, value) of the writes after `from`, checking that each write is one key event and its
// SYN_REPORT.
std::vector<std::pair<int, int>> WrittenKeys(const KernelLog& log, std::size_t from) {
  std::vector<std::pair<int, int>> keys;
  for (std::size_t i = from; i < log.calls.size(); ++i) {
    const Call& call = log.calls[i];
    if (call.what != "write") {
      continue;
    }
    EXPECT_EQ(call.events.size(), 2u);
    if (call.events.size() != 2) {
      continue;
    }
    EXPECT_EQ(call.events[0].type, EV_KEY);
    EXPECT_EQ(call.events[1].type, EV_SYN);
    EXPECT_EQ(call.events[1].code, SYN_REPORT);
    EXPECT_EQ(call.events[1].value, 0);
    keys.emplace_back(call.events[0].code, call.events[0].value);
  }
  return keys;
}

TEST(UinputKeyBackend, CreatesOneKeyboardWithEveryEmittableKeyAndNoRepeat) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr) << whyNot;
  EXPECT_EQ(log->openPath, "/dev/uinput");
  EXPECT_EQ(log->openFlags & O_ACCMODE, O_WRONLY);
  EXPECT_NE(log->openFlags & O_CLOEXEC, 0);

  ASSERT_GE(log->calls.size(), 4u);
  EXPECT_EQ(log->calls.front().what, "open");
  std::set<std::uintptr_t> evBits;
  std::set<std::uintptr_t> keyBits;
  std::vector<unsigned long> others;
  for (const Call& call : log->calls) {
    if (call.what != "ioctl") {
      continue;
    }
    if (call.request == UI_SET_EVBIT) {
      evBits.insert(call.arg);
    } else if (call.request == UI_SET_KEYBIT) {
      EXPECT_TRUE(others.empty()) << "key bits after set-up";
      keyBits.insert(call.arg);
    } else {
      others.push_back(call.request);
    }
  }
  EXPECT_EQ(evBits, (std::set<std::uintptr_t>{EV_KEY}));
  std::set<std::uintptr_t> expectedKeys;
  for (std::uintptr_t code = 1; code <= 31; ++code) {
    expectedKeys.insert(code);
  }
  for (std::uint16_t code : EmittableLinuxKeyCodes()) {
    expectedKeys.insert(code);
  }
  EXPECT_EQ(keyBits, expectedKeys);
  EXPECT_EQ(others, (std::vector<unsigned long>{UI_DEV_SETUP, UI_DEV_CREATE}));
  EXPECT_EQ(log->setup.id.bustype, BUS_VIRTUAL);
  EXPECT_STREQ(log->setup.name, "strokerelayd virtual keyboard");
  EXPECT_EQ(log->calls.back().request, UI_DEV_CREATE);
}

TEST(UinputKeyBackend, ReportsWhyTheDeviceCannotBeOpenedOrCreated) {
  auto log = std::make_shared<KernelLog>();
  log->openResult = -EACCES;
  std::string whyNot;
  EXPECT_EQ(MakeBackend(log, &whyNot), nullptr);
  EXPECT_EQ(whyNot, "/dev/uinput cannot be opened (permission denied)");

  log = std::make_shared<KernelLog>();
  log->failingRequest = UI_DEV_CREATE;
  EXPECT_EQ(MakeBackend(log, &whyNot), nullptr);
  EXPECT_EQ(log->calls.back().what, "close");
  EXPECT_NE(whyNot.find("invalid argument"), std::string::npos) << whyNot;
}

TEST(UinputKeyBackend, WritesEachKeyEventWithItsSynReport) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr);
  const std::size_t start = log->calls.size();
  backend->Inject(0x41, 0, KEYEVENT_PRESS, 11);
  backend->Inject(0x41, 0, KEYEVENT_KEYUP, 11);
  backend->Inject(0x02, 0, KEYEVENT_PRESS, 11);  // mouse button: nothing
  EXPECT_EQ(WrittenKeys(*log, start), (std::vector<std::pair<int, int>>{{KEY_A, 1}, {KEY_A, 0}}));
  EXPECT_EQ(log->calls.size(), start + 2);
}

TEST(UinputKeyBackend, BothChords) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr);
  const std::size_t start = log->calls.size();
  // The events the decoder produces for a press of 0x103 and of 0x104.
  const std::pair<std::uint8_t, std::uint32_t> chords[] = {
      {0xA4, KEYEVENT_PRESS}, {0x19, KEYEVENT_PRESS}, {0x19, KEYEVENT_KEYUP}, {0xA4, KEYEVENT_KEYUP},
      {0xA5, KEYEVENT_PRESS}, {0x75, KEYEVENT_PRESS}, {0x75, KEYEVENT_KEYUP}, {0xA5, KEYEVENT_KEYUP}};
  for (const auto& [vk, flags] : chords) {
    backend->Inject(vk, 0, flags, 11);
  }
  EXPECT_EQ(WrittenKeys(*log, start), (std::vector<std::pair<int, int>>{{KEY_LEFTALT, 1},
                                                                        {KEY_GRAVE, 1},
                                                                        {KEY_GRAVE, 0},
                                                                        {KEY_LEFTALT, 0},
                                                                        {KEY_RIGHTALT, 1},
                                                                        {KEY_F6, 1},
                                                                        {KEY_F6, 0},
                                                                        {KEY_RIGHTALT, 0}}));
}

TEST(UinputKeyBackend, ShutdownReleasesHeldKeysThenDestroysTheDevice) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr);
  backend->Inject(0x10, 0, KEYEVENT_PRESS, 11);
  backend->Inject(0x41, 0, KEYEVENT_PRESS, 11);
  const std::size_t start = log->calls.size();
  backend.reset();
  EXPECT_EQ(WrittenKeys(*log, start), (std::vector<std::pair<int, int>>{{KEY_A, 0}, {KEY_LEFTSHIFT, 0}}));
  ASSERT_EQ(log->calls.size(), start + 4);
  EXPECT_EQ(log->calls[start + 2].request, UI_DEV_DESTROY);
  EXPECT_EQ(log->calls[start + 3].what, "close");
}

}  // namespace
}  // namespace srd
