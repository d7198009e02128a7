// Sealing and opening one datagram: only the key's holder makes one that opens, and no byte of it can change.

#include "seal/sealed_datagram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "seal/datagram_sealer.h"

namespace srd::seal {
namespace {

struct OpenResult {
  bool ok = false;
  SealedPlace place;
  std::string text;
};

OpenResult Open(const Key& key, const std::string& datagram) {
  OpenResult result;
  std::vector<char> text(datagram.size() + 1);
  std::size_t length = 0;
  result.ok = OpenDatagram(key, reinterpret_cast<const std::uint8_t*>(datagram.data()), datagram.size(),
                           &result.place, text.data(), &length);
  if (result.ok) {
    result.text.assign(text.data(), length);
  }
  return result;
}

TEST(SealedDatagram, OpensToTheTextAndPlaceItWasSealedWith) {
  ASSERT_TRUE(StartSealing());
  const Key key = NewKey();
  const SealedPlace place{0x0102030405060708u, 1765000000u, 42};
  const std::string datagram = SealDatagram(key, place, "?K010k41u41U010");
  EXPECT_EQ(datagram.size(), SEALED_OVERHEAD + 15);
  EXPECT_NE(datagram[0], '?');
  EXPECT_EQ(datagram.find("k41"), std::string::npos);  // the text cannot be read off the wire
  const OpenResult opened = Open(key, datagram);
  ASSERT_TRUE(opened.ok);
  EXPECT_EQ(opened.text, "?K010k41u41U010");
  EXPECT_EQ(opened.place.sender, place.sender);
  EXPECT_EQ(opened.place.start, place.start);
  EXPECT_EQ(opened.place.number, 42u);
}

TEST(SealedDatagram, TheLongestTextFitsWhatTheReceiverReads) {
  ASSERT_TRUE(StartSealing());
  const Key key = NewKey();
  DatagramSealer sealer(key);
  const std::string longest(SEALED_MAX_TEXT, 'k');
  const std::string datagram = sealer.Seal(longest);
  EXPECT_EQ(datagram.size(), SEALED_MAX_BYTES);
  EXPECT_EQ(Open(key, datagram).text, longest);
  EXPECT_TRUE(Open(key, sealer.Seal("")).ok);
}

// Any changed bit, header or text, any cut, another key, plain text and the empty datagram: nothing opens.
TEST(SealedDatagram, NothingButTheUnchangedWholeOpens) {
  ASSERT_TRUE(StartSealing());
  const Key key = NewKey();
  DatagramSealer sealer(key);
  const std::string datagram = sealer.Seal("?k41u41");
  for (std::size_t i = 0; i < datagram.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string changed = datagram;
      changed[i] = static_cast<char>(changed[i] ^ (1 << bit));
      EXPECT_FALSE(Open(key, changed).ok) << "byte " << i << " bit " << bit;
    }
  }
  for (std::size_t length = 0; length < datagram.size(); ++length) {
    EXPECT_FALSE(Open(key, datagram.substr(0, length)).ok) << "cut to " << length;
  }
  EXPECT_FALSE(Open(key, datagram + "x").ok);
  EXPECT_FALSE(Open(NewKey(), datagram).ok);
  EXPECT_FALSE(Open(key, "?k41u41").ok);
  EXPECT_FALSE(Open(key, std::string(100, '\0')).ok);
}

// One sender numbers its datagrams 1, 2, 3...; two senders sharing the key are told apart.
TEST(SealedDatagram, ASenderNumbersItsDatagramsInOrderUnderAnIdentityOfItsOwn) {
  ASSERT_TRUE(StartSealing());
  const Key key = NewKey();
  DatagramSealer first(key);
  DatagramSealer second(key);
  const OpenResult a1 = Open(key, first.Seal("?k41"));
  const OpenResult a2 = Open(key, first.Seal("?u41"));
  const OpenResult b1 = Open(key, second.Seal("?k42"));
  EXPECT_EQ(a1.place.number, 1u);
  EXPECT_EQ(a2.place.number, 2u);
  EXPECT_EQ(b1.place.number, 1u);
  EXPECT_EQ(a1.place.sender, a2.place.sender);
  EXPECT_NE(a1.place.sender, b1.place.sender);
  EXPECT_NE(first.Seal("?k41"), first.Seal("?k41"));  // the same text never seals alike
}

}  // namespace
}  // namespace srd::seal
