#include "platform/keys/translating_key_backend.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>
#include <vector>

#include "platform/layout/receiver_layout.h"

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

TEST(TranslatingKeyBackend, PassesEventsThroughInOrderAndTracksHeldKeys) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::uint8_t, bool>> events;  // virtual key, down
    std::vector<Emitted> emitted;
    std::size_t held;
  };
  const Case cases[] = {
      {"unmapped codes dropped, order kept",
       {{0x0D, true}, {0x01, true}, {0x10, true}, {0x10, false}, {0x0D, false}},
       {{28, true}, {42, true}, {42, false}, {28, false}},
       0},
      {"release of a key not held injects nothing",
       {{0x41, false}, {0x41, true}, {0x41, false}, {0x41, false}},
       {{30, true}, {30, false}},
       0},
      // The machine's own auto-repeat reaches applications as release and press; a second press of a
      // held key would be no key-down at all.
      {"repeated press typed again, held once, one release ends it",
       {{0x41, true}, {0x41, true}, {0x41, true}, {0x41, false}},
       {{30, true}, {30, false}, {30, true}, {30, false}, {30, true}, {30, false}},
       0},
      {"repeated modifiers and locks stay down untouched",
       {{0x10, true}, {0x10, true}, {0x14, true}, {0x14, true}},
       {{42, true}, {58, true}},
       2},
      {"generic and left Shift share a held entry",
       {{0x10, true}, {0xA0, false}},
       {{42, true}, {42, false}},
       0},
      // An IME toggle is a tap, so a key-up from a different toggle leaves nothing held.
      {"IME toggles are taps", {{0x15, true}, {0x16, false}, {0x15, false}}, {{93, true}, {93, false}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeBackend backend;
    for (const auto& [vk, down] : c.events) {
      backend.Inject(vk, 0, down ? KEYEVENT_PRESS : KEYEVENT_KEYUP, 11);
    }
    EXPECT_EQ(backend.emitted, c.emitted);
    EXPECT_EQ(backend.HeldCount(), c.held);
  }
}

TEST(TranslatingKeyBackend, ReleaseAllReleasesDeliveredHeldKeysNewestFirstOnce) {
  FakeBackend backend;
  backend.Inject(0xA2, 0, KEYEVENT_PRESS, 11);  // left Control
  backend.Inject(0x41, 0, KEYEVENT_PRESS, 11);
  backend.Inject(0x42, 0, KEYEVENT_PRESS, 11);
  backend.Inject(0x41, 0, KEYEVENT_KEYUP, 11);
  backend.delivers = false;
  backend.Inject(0x43, 0, KEYEVENT_PRESS, 11);  // never reached the system: not held
  backend.delivers = true;
  backend.emitted.clear();
  backend.ReleaseAll();
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{48, false}, {29, false}}));
  backend.ReleaseAll();
  EXPECT_EQ(backend.emitted.size(), 2u);
}

// The layout changes while a key is down: its repeat and its release go to the key its press went to, and
// the next press goes where the new layout puts the code.
TEST(TranslatingKeyBackend, ReleaseGoesToTheKeyThePressWentToAcrossALayoutChange) {
  FakeBackend backend;
  auto layout = ReceiverLayout::Fixed(LayoutName{"us", ""});
  ReceiverLayout* receiverLayout = layout.get();
  backend.FollowLayout(std::move(layout));
  backend.Inject('Y', 0, KEYEVENT_PRESS, 11);  // KEY_Y on us
  receiverLayout->Use(LayoutName{"de", ""});   // where Y and Z change places
  backend.Inject('Y', 0, KEYEVENT_PRESS, 11);
  backend.Inject('Y', 0, KEYEVENT_KEYUP, 11);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{21, true}, {21, false}, {21, true}, {21, false}}));
  EXPECT_EQ(backend.HeldCount(), 0u);
  backend.emitted.clear();
  backend.Inject('Y', 0, KEYEVENT_PRESS, 11);
  backend.Inject('Y', 0, KEYEVENT_KEYUP, 11);
  EXPECT_EQ(backend.emitted, (std::vector<Emitted>{{44, true}, {44, false}}));
}

// Any sequence of presses, releases and layout changes: once the sender has released every code it pressed,
// no key is held and every key the backend pressed has been released as often as pressed.
TEST(TranslatingKeyBackend, NothingStaysHeldWhateverChangesBetweenPressAndRelease) {
  const std::uint8_t codes[] = {'A',  'Q',  'W',  'Y',  'Z',  'M',  '2', 0xBA,
                                0xBF, 0xDE, 0xC0, 0xE2, 0x10, 0xA0, 0xA5};
  const LayoutName layouts[] = {{"us", ""}, {"de", ""}, {"fr", ""}, {"gb", ""}, {"jp", ""}};
  std::mt19937 random(31);
  for (int round = 0; round < 200; ++round) {
    FakeBackend backend;
    auto layout = ReceiverLayout::Fixed(layouts[0]);
    ReceiverLayout* receiverLayout = layout.get();
    backend.FollowLayout(std::move(layout));
    std::map<std::uint8_t, bool> down;
    for (int step = 0; step < 40; ++step) {
      const unsigned what = random() % 8;
      const std::uint8_t code = codes[random() % std::size(codes)];
      if (what == 0) {
        receiverLayout->Use(layouts[random() % std::size(layouts)]);
      } else if (what < 5) {
        backend.Inject(code, 0, KEYEVENT_PRESS, 11);
        down[code] = true;
      } else {
        backend.Inject(code, 0, KEYEVENT_KEYUP, 11);
        down[code] = false;
      }
    }
    for (const auto& [code, isDown] : down) {
      if (isDown) {
        receiverLayout->Use(layouts[random() % std::size(layouts)]);
        backend.Inject(code, 0, KEYEVENT_KEYUP, 11);
      }
    }
    EXPECT_EQ(backend.HeldCount(), 0u) << "round " << round;
    std::map<std::uint16_t, int> balance;
    for (const auto& [key, isDown] : backend.emitted) {
      balance[key] += isDown ? 1 : -1;
      ASSERT_GE(balance[key], 0) << "a release of a key not down, round " << round;
    }
    for (const auto& [key, count] : balance) {
      EXPECT_EQ(count, 0) << "key " << key << " left down, round " << round;
    }
  }
}

}  // namespace
}  // namespace srd
