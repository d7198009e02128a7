// The receiver's key file: made once, private, replaced whole, and refused when it is not private.

#include "seal/key_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "../support/scoped_temp_dir.h"
#include "seal/pairing_code.h"
#include "seal/private_file.h"

namespace srd::seal {
namespace {

class KeyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartSealing());
    ASSERT_FALSE(home_.Path().empty());
    setenv("XDG_CONFIG_HOME", (home_.Path() + "/config").c_str(), 1);
    files_ = ReceiverFilesHere();
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  static mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
  }

  test::ScopedTempDir home_{"srd-seal"};
  ReceiverFiles files_;
};

TEST_F(KeyFileTest, PairingMakesOnePrivateKeyAndUnpairingRemovesIt) {
  EXPECT_EQ(files_.key, home_.Path() + "/config/strokerelayd/key");
  KeyFileResult none = LoadReceiverKey(files_);
  EXPECT_TRUE(none.ok);
  EXPECT_FALSE(none.key);

  const KeyFileResult made = PairReceiver(files_);
  ASSERT_TRUE(made.ok) << made.whyNot;
  ASSERT_TRUE(made.key);
  EXPECT_EQ(ModeOf(files_.directory), 0700u);
  EXPECT_EQ(ModeOf(files_.key), 0600u);
  EXPECT_EQ(access((files_.key + ".new").c_str(), F_OK), -1);
  std::ifstream in(files_.key);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, PairingCodeFor(*made.key));

  const KeyFileResult again = PairReceiver(files_);
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(*again.key, *made.key);
  EXPECT_EQ(*LoadReceiverKey(files_).key, *made.key);

  std::ofstream(files_.order) << "strokerelayd sender order 1\ndropped 0\n";
  chmod(files_.order.c_str(), 0600);
  EXPECT_EQ(UnpairReceiver(files_), "");
  EXPECT_EQ(access(files_.key.c_str(), F_OK), -1);
  EXPECT_EQ(access(files_.order.c_str(), F_OK), -1);
  EXPECT_FALSE(LoadReceiverKey(files_).key);
  EXPECT_EQ(UnpairReceiver(files_), "");  // nothing to remove is no failure
}

// A key others could read or write, one of another user, a link, or one that holds no code: the start must
// stop, with the reason.
TEST_F(KeyFileTest, AKeyFileThatIsNotPrivateOrNotAKeyIsRefusedWithTheReason) {
  ASSERT_TRUE(PairReceiver(files_).ok);
  chmod(files_.key.c_str(), 0644);
  KeyFileResult result = LoadReceiverKey(files_);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.whyNot,
            files_.key + " can be read by others (mode 644; only its user may read or write it: chmod 600)");
  chmod(files_.key.c_str(), 0620);
  EXPECT_EQ(
      LoadReceiverKey(files_).whyNot,
      files_.key + " can be written by others (mode 620; only its user may read or write it: chmod 600)");
  EXPECT_FALSE(PairReceiver(files_).ok);  // not replaced behind the user's back either
  chmod(files_.key.c_str(), 0600);

  if (geteuid() == 0) {
    ASSERT_EQ(chown(files_.key.c_str(), 65534, 65534), 0);
    EXPECT_EQ(LoadReceiverKey(files_).whyNot, files_.key + " belongs to another user (uid 65534)");
    ASSERT_EQ(chown(files_.key.c_str(), 0, 0), 0);
  }

  const std::string real = files_.directory + "/real";
  ASSERT_EQ(rename(files_.key.c_str(), real.c_str()), 0);
  ASSERT_EQ(symlink(real.c_str(), files_.key.c_str()), 0);
  EXPECT_EQ(LoadReceiverKey(files_).whyNot, files_.key + " is a symbolic link");
  unlink(files_.key.c_str());

  EXPECT_EQ(WritePrivateFile(files_.key, "not a code\n"), "");
  result = LoadReceiverKey(files_);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.whyNot.rfind(files_.key + " holds no valid pairing code: ", 0), 0u) << result.whyNot;

  EXPECT_EQ(WritePrivateFile(files_.key, std::string(1000, '0')), "");
  EXPECT_EQ(LoadReceiverKey(files_).whyNot, files_.key + " is longer than 256 bytes");

  unlink(files_.key.c_str());
  ASSERT_EQ(mkdir(files_.key.c_str(), 0700), 0);
  EXPECT_EQ(LoadReceiverKey(files_).whyNot, files_.key + " is not a regular file");
  rmdir(files_.key.c_str());

  if (geteuid() != 0) {  // root reads whatever the mode says
    EXPECT_EQ(WritePrivateFile(files_.key, PairingCodeFor(NewKey())), "");
    chmod(files_.key.c_str(), 0200);
    EXPECT_FALSE(LoadReceiverKey(files_).ok);
  }
}

TEST_F(KeyFileTest, ADirectoryOthersCanWriteToIsRefused) {
  ASSERT_EQ(MakePrivateDirectory(files_.directory), "");
  chmod(files_.directory.c_str(), 0777);
  EXPECT_EQ(MakePrivateDirectory(files_.directory),
            files_.directory + " can be written by others (mode 777; only its user may write to it)");
  EXPECT_FALSE(PairReceiver(files_).ok);
}

}  // namespace
}  // namespace srd::seal
