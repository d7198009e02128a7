// Layout names that come from outside (the X server's rule names, the keyboard file, the command line) reach
// XKB only when they are plain names, and no file XKB or the layout code opens can hold a thread.
#include "platform/layout/xkb_name.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "../../support/scoped_temp_dir.h"
#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_keymap.h"
#include "platform/layout/system_layout.h"

namespace srd {
namespace {

constexpr auto kGenerous = std::chrono::seconds(20);

const char* const kNotNames[] = {
    "../../../../../../../../tmp/f",
    "/etc/passwd",
    "de/../../x",
    "de(nodeadkeys)",
    "de+us",
    "de de",
    "d\xC3\xA9",
    "d\te",
    ".",
    "..",
};

TEST(XkbName, OnlyPlainNamesPassFromEverySource) {
  EXPECT_TRUE(IsXkbName("de"));
  EXPECT_FALSE(IsXkbName(""));
  EXPECT_TRUE(IsXkbName("dvorak-alt-intl"));
  EXPECT_TRUE(IsXkbName("mac_nodeadkeys"));
  EXPECT_TRUE(IsXkbName(std::string(kMaxXkbNameLength, 'a')));
  EXPECT_FALSE(IsXkbName(std::string(kMaxXkbNameLength + 1, 'a')));
  for (const char* bad : kNotNames) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsXkbName(bad));
    LayoutName parsed;
    EXPECT_FALSE(ParseLayoutName(bad, &parsed));
    EXPECT_FALSE(ParseLayoutName(std::string("de:") + bad, &parsed));
    // As the X server's rule names give them: that group is taken for us, the others keep theirs.
    const KeyboardGroups groups = GroupsOfLists(std::string("fr,") + bad, "", 1);
    ASSERT_EQ(groups.layouts.size(), 2u);
    EXPECT_EQ(groups.layouts[0], (LayoutName{"fr", ""}));
    EXPECT_EQ(groups.layouts[groups.active], LayoutName{});
    EXPECT_EQ(LayoutOfGroup("de", bad, 0), LayoutName{});
    // And whatever calls XKB directly meets the same gate.
    EXPECT_EQ(LayoutKeymap::Compile(LayoutName{bad, ""}), nullptr);
    EXPECT_EQ(LayoutKeymap::Compile(LayoutName{"de", bad}), nullptr);
  }
  EXPECT_NE(LayoutKeymap::Compile(LayoutName{"de", "nodeadkeys"}), nullptr);
}

// Runs `work` on a thread of its own: false when it did not end within a generous time (it is then let go,
// which only a failing test does).
template <typename Work>
bool EndsSoon(Work work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  std::thread(std::move(task)).detach();
  return done.wait_for(kGenerous) == std::future_status::ready;
}

// Opens the FIFO for writing and closes it again, which lets a reader blocked in opening it go on.
void Unblock(const std::string& fifo) {
  const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd >= 0) {
    close(fd);
  }
}

TEST(XkbName, AFifoWhereAFileIsExpectedHoldsNothing) {
  test::ScopedTempDir dir;
  ASSERT_EQ(mkdir((dir.Path() + "/symbols").c_str(), 0700), 0);
  const std::string symbolsFifo = dir.Path() + "/symbols/srdfifo";
  const std::string keyboardFifo = dir.Path() + "/keyboard";
  ASSERT_EQ(mkfifo(symbolsFifo.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(keyboardFifo.c_str(), 0600), 0);
  setenv("XKB_CONFIG_EXTRA_PATH", dir.Path().c_str(), 1);
  unsetenv("XKB_DEFAULT_LAYOUT");

  bool compiled = true;
  const bool compileEnded = EndsSoon([&] {
    compiled = LayoutKeymap::Compile(LayoutName{"srdfifo", ""}) != nullptr;
  });
  Unblock(symbolsFifo);
  EXPECT_TRUE(compileEnded) << "XKB opened the FIFO";
  EXPECT_FALSE(compiled);

  LayoutName system{"xx", ""};
  const bool readEnded = EndsSoon([&] { system = SystemLayoutName(keyboardFifo.c_str()); });
  Unblock(keyboardFifo);
  EXPECT_TRUE(readEnded) << "the keyboard file's FIFO was opened";
  EXPECT_EQ(system, LayoutName{});
  unsetenv("XKB_CONFIG_EXTRA_PATH");
  EXPECT_NE(LayoutKeymap::Compile(LayoutName{"de", ""}), nullptr);
}

}  // namespace
}  // namespace srd
