#include "platform/keys/translating_key_backend.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace srd {
namespace {

using Emitted = std::pair<std::uint16_t, bool>;  // Linux code, down

class FakeBackend final : public TranslatingKeyBackend {
 public:
  const char* Name() const override { return "fake"; }
  std::vector<Emitted> emitted;
  bool delivers = true;

 protected:
  bool EmitKey(std::uint16_t code, bool down) override {
    emitted.emplace_back(code, down);
    return delivers;
  }
};

void Press(KeyBackend& backend, std::uint8_t vk) {
  backend.Inject(vk, 0, KEYEVENT_PRESS, 11);
}
void Release(KeyBackend& backend, std::uint8_t vk) {
  backend.Inject(vk, 0, KEYEVENT_KEYUP, 11);
}

TEST(TranslatingKeyBackend, PassesEventsThroughInOrderAndDropsUnmappedCodes) {
  FakeBackend backend;
  Press(backend, 0x0D);
  Press(backend, 0x01);  // mouse button
  Press(backend, 0x10);
  Release(backend, 0x10);
  Release(backend, 0x0D);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{28, true}, {42, true}, {42, false}, {28, false}}));
  EXPECT_EQ(backend.HeldCount(), 0u);
}

TEST(TranslatingKeyBackend, ReleaseOfAKeyNotHeldInjectsNothing) {
  FakeBackend backend;
  Release(backend, 0x41);
  Press(backend, 0x41);
  Release(backend, 0x41);
  Release(backend, 0x41);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{30, true}, {30, false}}));
}

TEST(TranslatingKeyBackend, RepeatedPressIsForwardedButHeldOnce) {
  FakeBackend backend;
  Press(backend, 0x41);
  Press(backend, 0x41);
  EXPECT_EQ(backend.HeldCount(), 1u);
  Release(backend, 0x41);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{30, true}, {30, true}, {30, false}}));
  EXPECT_EQ(backend.HeldCount(), 0u);
}

TEST(TranslatingKeyBackend, CodesSharingAKeyShareTheHeldEntry) {
  FakeBackend backend;
  Press(backend, 0x10);    // generic Shift
  Release(backend, 0xA0);  // left Shift
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{42, true}, {42, false}}));
}

TEST(TranslatingKeyBackend, ImeTogglesAreTapsSoMismatchedKeyUpsLeaveNothingHeld) {
  FakeBackend backend;
  Press(backend, 0x15);    // Kana down ...
  Release(backend, 0x16);  // ... answered by an IME-on key-up
  Release(backend, 0x15);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{93, true}, {93, false}}));
  EXPECT_EQ(backend.HeldCount(), 0u);
}

TEST(TranslatingKeyBackend, ChordsKeepTheirOrder) {
  FakeBackend backend;
  Press(backend, 0xA4);
  Press(backend, 0x19);
  Release(backend, 0x19);
  Release(backend, 0xA4);
  Press(backend, 0xA5);
  Press(backend, 0x75);
  Release(backend, 0x75);
  Release(backend, 0xA5);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{56, true},
                                                   {41, true},
                                                   {41, false},
                                                   {56, false},
                                                   {100, true},
                                                   {64, true},
                                                   {64, false},
                                                   {100, false}}));
}

TEST(TranslatingKeyBackend, ReleaseAllReleasesHeldKeysNewestFirstOnce) {
  FakeBackend backend;
  Press(backend, 0xA2);  // left Control
  Press(backend, 0x41);
  Press(backend, 0x42);
  Release(backend, 0x41);
  backend.emitted.clear();
  backend.ReleaseAll();
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{48, false}, {29, false}}));
  backend.ReleaseAll();
  EXPECT_EQ(backend.emitted.size(), 2u);
}

TEST(TranslatingKeyBackend, UndeliveredPressIsNotHeld) {
  FakeBackend backend;
  backend.delivers = false;
  Press(backend, 0x41);
  backend.delivers = true;
  Release(backend, 0x41);
  backend.ReleaseAll();
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{30, true}}));
}

}  // namespace
}  // namespace srd
