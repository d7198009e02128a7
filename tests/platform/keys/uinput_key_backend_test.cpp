#include "platform/keys/uinput_key_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uinput.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/keys/key_pause.h"
#include "platform/layout/vk_table.h"

namespace srd {
namespace {

constexpr int kFd = 7;

// What the backend asks of the kernel, one line a call: "open", "evbit 1", "keybit 30", "setup", "create",
// "key 30 1" (a write of one key event and its SYN_REPORT), "destroy", "close".
struct KernelLog {
  std::vector<std::string> trace;
  std::vector<std::chrono::steady_clock::time_point> writeTimes;
  uinput_setup setup{};
  std::string openPath;
  int openFlags = 0;
  int openResult = kFd;
  unsigned long failingRequest = 0;  // an ioctl that fails with EINVAL
};

class FakeKernel final : public UinputKernel {
 public:
  explicit FakeKernel(std::shared_ptr<KernelLog> log) : log_(std::move(log)) {}
  int Open(const char* path, int flags) override {
    log_->trace.push_back("open");
    log_->openPath = path;
    log_->openFlags = flags;
    return log_->openResult;
  }
  int Ioctl(int fd, unsigned long request, std::uintptr_t arg) override {
    EXPECT_EQ(fd, kFd);
    if (request == UI_SET_EVBIT || request == UI_SET_KEYBIT) {
      log_->trace.push_back((request == UI_SET_EVBIT ? "evbit " : "keybit ") + std::to_string(arg));
    } else if (request == UI_DEV_SETUP) {
      std::memcpy(&log_->setup, reinterpret_cast<const void*>(arg), sizeof log_->setup);
      log_->trace.push_back("setup");
    } else {
      log_->trace.push_back(request == UI_DEV_CREATE    ? "create"
                            : request == UI_DEV_DESTROY ? "destroy"
                                                        : "ioctl " + std::to_string(request));
    }
    return request == log_->failingRequest ? -EINVAL : 0;
  }
  long Write(int fd, const void* data, std::size_t size) override {
    EXPECT_EQ(fd, kFd);
    input_event events[2];
    EXPECT_EQ(size, sizeof events);
    std::memcpy(events, data, std::min(size, sizeof events));
    EXPECT_EQ(events[0].type, EV_KEY);
    EXPECT_TRUE(events[1].type == EV_SYN && events[1].code == SYN_REPORT && events[1].value == 0);
    log_->trace.push_back("key " + std::to_string(events[0].code) + " " + std::to_string(events[0].value));
    log_->writeTimes.push_back(std::chrono::steady_clock::now());
    return static_cast<long>(size);
  }
  int Close(int fd) override {
    EXPECT_EQ(fd, kFd);
    log_->trace.push_back("close");
    return 0;
  }

 private:
  std::shared_ptr<KernelLog> log_;
};

std::unique_ptr<UinputKeyBackend> MakeBackend(const std::shared_ptr<KernelLog>& log, std::string* whyNot,
                                              std::chrono::nanoseconds pace = std::chrono::nanoseconds(0)) {
  return UinputKeyBackend::Create(std::make_unique<FakeKernel>(log), "/dev/uinput", whyNot, pace);
}

// A pause that counts the waits asked of it and, once told the program stops, refuses them.
class CountingPause final : public KeyPause {
 public:
  bool Pause(std::chrono::nanoseconds duration) override {
    ++asked;
    if (stopping) {
      return false;
    }
    std::this_thread::sleep_for(duration);
    return true;
  }
  int asked = 0;
  bool stopping = false;
};

TEST(UinputKeyBackend, CreatesOneKeyboardWithEveryEmittableKeyAndNoRepeat) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr) << whyNot;
  EXPECT_EQ(log->openPath, "/dev/uinput");
  EXPECT_EQ(log->openFlags & O_ACCMODE, O_WRONLY);
  EXPECT_NE(log->openFlags & O_CLOEXEC, 0);

  std::set<std::string> expectedKeys;
  for (int code = 1; code <= 31; ++code) {
    expectedKeys.insert("keybit " + std::to_string(code));  // so that udev takes it for a keyboard
  }
  for (std::uint16_t code : EmittableLinuxKeyCodes()) {
    expectedKeys.insert("keybit " + std::to_string(code));
  }
  std::set<std::string> keyBits;
  std::vector<std::string> others;  // only EV_KEY: no EV_REP, so the kernel adds no auto-repeat
  for (const std::string& call : log->trace) {
    if (call.rfind("keybit ", 0) == 0) {
      EXPECT_EQ(std::count(others.begin(), others.end(), "setup"), 0) << "key bits after set-up";
      keyBits.insert(call);
    } else {
      others.push_back(call);
    }
  }
  EXPECT_EQ(keyBits, expectedKeys);
  EXPECT_EQ(others, (std::vector<std::string>{"open", "evbit " + std::to_string(EV_KEY), "setup", "create"}));
  EXPECT_EQ(log->setup.id.bustype, BUS_VIRTUAL);
  EXPECT_STREQ(log->setup.name, "strokerelayd virtual keyboard");
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
  EXPECT_EQ(log->trace.back(), "close");
  EXPECT_NE(whyNot.find("invalid argument"), std::string::npos) << whyNot;
}

TEST(UinputKeyBackend, WritesKeysInOrderAndReleasesHeldOnesBeforeDestroyingTheDevice) {
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot);
  ASSERT_NE(backend, nullptr);
  log->trace.clear();
  // A tap of A, a mouse button (nothing), what the decoder produces for 0x103 and 0x104, then Shift and B
  // held.
  const std::pair<std::uint8_t, std::uint32_t> events[] = {
      {0x41, KEYEVENT_PRESS}, {0x41, KEYEVENT_KEYUP}, {0x02, KEYEVENT_PRESS}, {0xA4, KEYEVENT_PRESS},
      {0x19, KEYEVENT_PRESS}, {0x19, KEYEVENT_KEYUP}, {0xA4, KEYEVENT_KEYUP}, {0xA5, KEYEVENT_PRESS},
      {0x75, KEYEVENT_PRESS}, {0x75, KEYEVENT_KEYUP}, {0xA5, KEYEVENT_KEYUP}, {0x10, KEYEVENT_PRESS},
      {0x42, KEYEVENT_PRESS}};
  for (const auto& [vk, flags] : events) {
    backend->Inject(vk, 0, flags, 11);
  }
  backend.reset();
  // A 30, left Alt 56, grave 41, right Alt 100, F6 64, left Shift 42, B 48.
  EXPECT_EQ(log->trace,
            (std::vector<std::string>{"key 30 1", "key 30 0", "key 56 1", "key 41 1", "key 41 0", "key 56 0",
                                      "key 100 1", "key 64 1", "key 64 0", "key 100 0", "key 42 1",
                                      "key 48 1", "key 48 0", "key 42 0", "destroy", "close"}));
}

TEST(UinputKeyBackend, SpacesKeyEventsByItsPaceUntilAStopRefusesTheWaits) {
  using std::chrono::milliseconds;
  constexpr milliseconds kPace{3};
  auto log = std::make_shared<KernelLog>();
  std::string whyNot;
  auto backend = MakeBackend(log, &whyNot, kPace);
  ASSERT_NE(backend, nullptr);
  CountingPause pause;
  InstallKeyPause(&pause);
  // Back to back, as one datagram's commands come: every write waits for the one before it by the pace.
  for (int i = 0; i < 5; ++i) {
    backend->Inject(0x41, 0, KEYEVENT_PRESS, 0);
    backend->Inject(0x41, 0, KEYEVENT_KEYUP, 0);
  }
  ASSERT_EQ(log->writeTimes.size(), 10u);
  for (std::size_t i = 1; i < log->writeTimes.size(); ++i) {
    EXPECT_GE(log->writeTimes[i] - log->writeTimes[i - 1], kPace) << "write " << i;
  }
  EXPECT_EQ(pause.asked, 9);

  // A key that comes later than the pace is written without a wait.
  std::this_thread::sleep_for(2 * kPace);
  backend->Inject(0x42, 0, KEYEVENT_PRESS, 0);
  EXPECT_EQ(pause.asked, 9);

  // Once the program stops, the rest of the datagram still goes out whole and in order, without waiting.
  pause.stopping = true;
  log->trace.clear();
  backend->Inject(0x42, 0, KEYEVENT_KEYUP, 0);
  backend->Inject(0x43, 0, KEYEVENT_PRESS, 0);
  backend->Inject(0x43, 0, KEYEVENT_KEYUP, 0);
  EXPECT_EQ(log->trace, (std::vector<std::string>{"key 48 0", "key 46 1", "key 46 0"}));
  InstallKeyPause(nullptr);
}

}  // namespace
}  // namespace srd
