// The pairing code: the whole key in one word a user can read out and type.

#include "seal/pairing_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace srd::seal {
namespace {

TEST(PairingCode, CarriesTheWholeKeyInOneWordWithoutLookAlikes) {
  ASSERT_TRUE(StartSealing());
  for (int i = 0; i < 200; ++i) {
    const Key key = NewKey();
    const std::string code = PairingCodeFor(key);
    EXPECT_EQ(code.size(), PAIRING_CODE_LENGTH);
    EXPECT_LE(code.size(), 64u);
    EXPECT_TRUE(std::all_of(code.begin(), code.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) ||
             (std::isupper(static_cast<unsigned char>(c)) && c != 'I' && c != 'L' && c != 'O' && c != 'U');
    })) << code;
    std::string why;
    const std::optional<Key> back = KeyFromPairingCode(code, &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(*back, key);
  }
}

TEST(PairingCode, ReadsLowerCaseAndTheLookAlikesAsTheDigitsTheyResemble) {
  ASSERT_TRUE(StartSealing());
  Key key;  // all zero bytes: a code of '0's, then the check
  std::string code = PairingCodeFor(key);
  ASSERT_EQ(code.substr(0, 4), "0000");
  std::string typed = code;
  typed[0] = 'O';
  typed[1] = 'o';
  std::transform(typed.begin() + 2, typed.end(), typed.begin() + 2,
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  std::string why;
  const std::optional<Key> back = KeyFromPairingCode(typed, &why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(*back, key);
}

// Every single mistyped character, a cut or lengthened code and a character outside the alphabet are refused
// with a reason, never read as another key.
TEST(PairingCode, RefusesAMistypedCutOrForeignCode) {
  ASSERT_TRUE(StartSealing());
  const Key key = NewKey();
  const std::string code = PairingCodeFor(key);
  std::string why;
  for (std::size_t i = 0; i < code.size(); ++i) {
    std::string wrong = code;
    wrong[i] = wrong[i] == '7' ? '8' : '7';
    EXPECT_FALSE(KeyFromPairingCode(wrong, &why)) << "position " << i;
    EXPECT_NE(why.find("does not check out"), std::string::npos) << why;
  }
  EXPECT_FALSE(KeyFromPairingCode(code.substr(0, code.size() - 1), &why));
  EXPECT_EQ(why, "a pairing code has 56 characters, this one 55");
  EXPECT_FALSE(KeyFromPairingCode(code + "0", &why));
  EXPECT_FALSE(KeyFromPairingCode("", &why));
  std::string foreign = code;
  foreign[10] = 'U';
  EXPECT_FALSE(KeyFromPairingCode(foreign, &why));
  EXPECT_EQ(why, "a pairing code has only digits and the letters A to Z");
  foreign[10] = '-';
  EXPECT_FALSE(KeyFromPairingCode(foreign, &why));
}

}  // namespace
}  // namespace srd::seal
