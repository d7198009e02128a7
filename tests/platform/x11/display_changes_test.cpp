// The record of what the XTest backend changed on a display is read back as untrusted input: only a record
// in exactly the form written, in a private regular file, is believed; anything else is removed unread.
#include "platform/x11/display_changes.h"

#include <gtest/gtest.h>
// After gtest: X's macros (None) clash with its names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/x11/device_repeat.h"
#include "support/key_observer.h"
#include "support/scoped_temp_dir.h"
#include "support/xvfb_server.h"

namespace srd {
namespace {

class DisplayChangesRecord : public ::testing::Test {
 protected:
  void Plant(const std::string& text, mode_t mode = 0600) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    chmod(path_.c_str(), mode);
  }
  bool Exists() const { return access(path_.c_str(), F_OK) == 0; }

  test::ScopedTempDir directory_{"srd-changes"};
  const std::string path_ = DisplayChangesPath(directory_.Path(), ":5");
};

TEST_F(DisplayChangesRecord, WhatIsWrittenIsReadBackFromAPrivateFile) {
  EXPECT_FALSE(ReadDisplayChanges(path_));
  ASSERT_TRUE(WriteDisplayChanges(path_, {"localhost:12.0", true}));
  struct stat info {};
  ASSERT_EQ(lstat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const auto read = ReadDisplayChanges(path_);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->display, "localhost:12.0");
  EXPECT_TRUE(read->repeatWasOn);
  // Written again over the old one, as a reconnect does.
  ASSERT_TRUE(WriteDisplayChanges(path_, {":3", false}));
  EXPECT_FALSE(ReadDisplayChanges(path_)->repeatWasOn);
  RemoveDisplayChanges(path_);
  EXPECT_FALSE(Exists());
  EXPECT_FALSE(
      WriteDisplayChanges(path_, {"a display\nrepeat=on", true}));  // never writes what it cannot read
}

TEST_F(DisplayChangesRecord, AnythingElseUnderItsNameIsRemovedUnbelieved) {
  const std::string good = "strokerelayd xtest changes 1\ndisplay=:5\nrepeat=on\n";
  const struct {
    const char* what;
    std::string text;
    mode_t mode;
  } planted[] = {
      {"another heading", "strokerelayd xtest changes 2\ndisplay=:5\nrepeat=on\n", 0600},
      {"a blank in the display", "strokerelayd xtest changes 1\ndisplay=:5 x\nrepeat=on\n", 0600},
      {"no display", "strokerelayd xtest changes 1\ndisplay=\nrepeat=on\n", 0600},
      {"a repeat neither on nor off", "strokerelayd xtest changes 1\ndisplay=:5\nrepeat=1\n", 0600},
      {"a line more", good + "keys=50\n", 0600},
      {"no line end", good.substr(0, good.size() - 1), 0600},
      {"too long", good + std::string(600, '#'), 0600},
      {"writable by others", good, 0666},
      {"empty", "", 0600},
  };
  for (const auto& record : planted) {
    SCOPED_TRACE(record.what);
    Plant(record.text, record.mode);
    EXPECT_FALSE(ReadDisplayChanges(path_));
    EXPECT_FALSE(Exists());
  }
  // A link to a good record elsewhere, and a FIFO that would hold a reader up.
  const std::string elsewhere = directory_.Path() + "/elsewhere";
  std::ofstream(elsewhere) << good;
  ASSERT_EQ(symlink(elsewhere.c_str(), path_.c_str()), 0);
  EXPECT_FALSE(ReadDisplayChanges(path_));
  EXPECT_FALSE(Exists());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_FALSE(ReadDisplayChanges(path_));
  EXPECT_FALSE(Exists());
}

// What a killed run leaves on a server (its keys held through XTest, the XTest device's repeat off, its
// record) is put right by a start that injects some other way.
TEST_F(DisplayChangesRecord, ALaterStartLetsGoOfTheKeysAndPutsTheRepeatBack) {
  XvfbServer server;
  ASSERT_TRUE(server.Start());
  const std::string name = server.DisplayName();
  KeyObserver observer(name);
  ASSERT_TRUE(observer.Ready());
  Display* killed = XOpenDisplay(name.c_str());
  ASSERT_NE(killed, nullptr);
  XTestFakeKeyEvent(killed, 50, True, CurrentTime);  // Shift_L
  XTestFakeKeyEvent(killed, 38, True, CurrentTime);  // a
  XDeviceRepeat repeat;
  ASSERT_TRUE(repeat.TurnOff(killed, XDeviceRepeat::kXTestKeyboard));
  XCloseDisplay(killed);
  ASSERT_EQ(observer.KeysDown().size(), 2u);
  const auto repeatOn = [&] {
    return XDeviceRepeat::RepeatEnabled(observer.Connection(), XDeviceRepeat::kXTestKeyboard);
  };
  ASSERT_FALSE(repeatOn());

  // The record of another server is not this one's to read or remove; the same server named otherwise is
  // this one.
  const std::string path = DisplayChangesPath(directory_.Path(), name);
  const std::string other =
      DisplayChangesPath(directory_.Path(), ":" + std::to_string(server.DisplayNumber() + 1));
  ASSERT_TRUE(WriteDisplayChanges(path, {name, true}));
  ASSERT_TRUE(WriteDisplayChanges(other, {":" + std::to_string(server.DisplayNumber() + 1), true}));
  PutRightWhatWasLeft("unix" + name + ".0", directory_.Path());
  EXPECT_TRUE(observer.KeysDown().empty());
  EXPECT_TRUE(repeatOn());
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  EXPECT_EQ(access(other.c_str(), F_OK), 0);
}

TEST(DisplayServer, OneServerWhateverTheSpellingOfItsName) {
  for (const char* same : {":66", ":66.0", ":66.1", "unix:66", "unix/:66", "unix/unix:66.0", ":066"}) {
    EXPECT_EQ(DisplayServerOf(same), ":66") << same;
    EXPECT_EQ(DisplayChangesPath("/d", same), DisplayChangesPath("/d", ":66")) << same;
  }
  for (const char* other : {":6", ":660", "localhost:66", "tcp/localhost:66", "Host:66", "host:66.0"}) {
    EXPECT_NE(DisplayChangesPath("/d", other), DisplayChangesPath("/d", ":66")) << other;
  }
  EXPECT_EQ(DisplayServerOf("Host:66.0"), DisplayServerOf("tcp/host:66"));
  // Whatever the name holds, the record stays a file of its own in the directory.
  EXPECT_EQ(DisplayChangesPath("/d", "../x/../:1").find('/', 3), std::string::npos);
  EXPECT_EQ(DisplayServerOf("not a display"), "not a display");
}

}  // namespace
}  // namespace srd
