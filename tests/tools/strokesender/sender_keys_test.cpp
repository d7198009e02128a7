// The sender's side of pairing: the codes stored per host, and --key over them.

#include "sender_keys.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "command_line.h"
#include "seal/pairing_code.h"
#include "support/scoped_temp_dir.h"

namespace srd::sender {
namespace {

class StoredKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(seal::StartSealing());
    setenv("XDG_CONFIG_HOME", home_.Path().c_str(), 1);
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
  static Options For(const std::string& host) {
    Options options;
    options.host = host;
    return options;
  }
  test::ScopedTempDir home_{"srd-sender-keys"};
};

// A code stored for one host seals for it alone; a stored code is replaced; --key wins over it; a wrong code
// is never stored nor used.
TEST_F(StoredKeysTest, TheCodeStoredForAHostSealsForItAndKeyWins) {
  const seal::Key first = seal::NewKey();
  const seal::Key second = seal::NewKey();
  EXPECT_FALSE(KeyForSending(For("a")).key);
  ASSERT_EQ(StoreKeyForHost("a", seal::PairingCodeFor(first)), "");
  ASSERT_EQ(StoreKeyForHost("b", seal::PairingCodeFor(first)), "");
  ASSERT_EQ(StoreKeyForHost("b", seal::PairingCodeFor(second)), "");
  struct stat info {};
  ASSERT_EQ(stat((home_.Path() + "/strokesender/keys").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(*KeyForSending(For("a")).key, first);
  EXPECT_EQ(*KeyForSending(For("b")).key, second);
  EXPECT_FALSE(KeyForSending(For("c")).key);

  Options given = For("a");
  given.keyGiven = true;
  given.keyCode = seal::PairingCodeFor(second);
  EXPECT_EQ(*KeyForSending(given).key, second);
  given.keyCode = "short";
  const SealingKey wrong = KeyForSending(given);
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.error, "invalid key code: a pairing code has 56 characters, this one 5");
  EXPECT_EQ(StoreKeyForHost("a", "short"), "invalid key code: a pairing code has 56 characters, this one 5");
  EXPECT_EQ(*KeyForSending(For("a")).key, first);

  chmod((home_.Path() + "/strokesender/keys").c_str(), 0644);
  EXPECT_FALSE(KeyForSending(For("a")).ok);  // a file others can read no longer holds a secret
}

}  // namespace
}  // namespace srd::sender
