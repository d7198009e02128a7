#include "receiver/key_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/keys/key_sink.h"
#include "platform/keys/recording_key_backend.h"

namespace srd {
namespace {

struct Ev {
  std::uint8_t vk;
  bool press;
};

std::vector<RecordedKeyEvent> Expected(std::initializer_list<Ev> events) {
  std::vector<RecordedKeyEvent> out;
  for (const Ev& e : events) {
    out.push_back({e.vk, 0, e.press ? KEYEVENT_PRESS : KEYEVENT_KEYUP, KEY_EVENT_TAG});
  }
  return out;
}

class DecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallKeyBackend(&sink_); }
  void TearDown() override { InstallKeyBackend(nullptr); }

  std::vector<RecordedKeyEvent> Decode(const std::string& bytes) {
    sink_.Clear();
    DecodeKeyCommands(bytes.c_str());
    return sink_.Events();
  }

  RecordingKeyBackend sink_;
};

struct Case {
  const char* name;
  std::string text;
  std::vector<RecordedKeyEvent> events;
};

constexpr bool P = true;
constexpr bool R = false;

TEST_F(DecodeTest, TextToEvents) {
  const std::vector<Case> cases = {
      {"empty datagram", "", {}},
      {"only the question mark", "?", {}},
      {"no leading question mark", "K041", {}},
      {"press and release", "?K041U041", Expected({{0x41, P}, {0x41, R}})},
      {"two-digit chord order", "?k0dk10u10u0d", Expected({{0x0D, P}, {0x10, P}, {0x10, R}, {0x0D, R}})},
      {"blank between commands is skipped", "?K041 U041", Expected({{0x41, P}, {0x41, R}})},
      {"any other byte is skipped", "?xyzK041#!u41", Expected({{0x41, P}, {0x41, R}})},
      {"value 0, short form", "?k00", {}},
      {"value 0, long form", "?K000", {}},
      {"left Alt + Kanji chord", "?K103", Expected({{0xA4, P}, {0x19, P}, {0x19, R}, {0xA4, R}})},
      {"right Alt + F6 chord", "?K104", Expected({{0xA5, P}, {0x75, P}, {0x75, R}, {0xA5, R}})},
      {"chord release is nothing", "?U103", {}},
      {"value above 255 that is no chord", "?K1FF", {}},
      {"chord number 105 is nothing", "?K105", {}},
      {"CR ends decoding where a letter is expected", "?k41\r\nk42", Expected({{0x41, P}})},
      {"LF ends decoding where a letter is expected", "?k41\nk42", Expected({{0x41, P}})},
      {"field cut by the end of the text", "?k4", Expected({{0x04, P}})},
      {"CR inside a field is a digit", "?k4\r", Expected({{0x4D, P}})},
      {"decoding goes on after a CR digit", "?k4\rk41", Expected({{0x4D, P}, {0x41, P}})},
      {"command letter inside a field is a digit", "?K0k41", Expected({{0x44, P}})},
      {"signed digit rule for high bytes",
       std::string("?k\xC1"
                   "A"),
       Expected({{0x1A, P}})},
      {"high byte 0xFF keeps its low bits",
       std::string("?k\xFF"
                   "1"),
       Expected({{0xF1, P}})},
      {"lower-case hex digit", "?k1b", Expected({{0x1B, P}})},
      {"upper-case hex digit", "?k1B", Expected({{0x1B, P}})},
      {"G is digit 0", "?k4G", Expected({{0x40, P}})},
      {"blank is digit 0", "?k4 ", Expected({{0x40, P}})},
      {"release forms", "?u41U041", Expected({{0x41, R}, {0x41, R}})},
      {"value 255 is a key", "?kff", Expected({{0xFF, P}})},
      {"chord within a sequence", "?k41K103u41",
       Expected({{0x41, P}, {0xA4, P}, {0x19, P}, {0x19, R}, {0xA4, R}, {0x41, R}})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.text), c.events) << c.name;
  }
}

TEST_F(DecodeTest, FullDatagramIsDecodedAndNothingBeyondItsTerminatorIsRead) {
  // 1024 bytes: "?" and 170 "k41u41" pairs plus padding blanks, then the zero, then bytes that must not
  // count.
  std::string text = "?";
  while (text.size() + 6 <= 1024) {
    text += "k41u41";
  }
  text.resize(1024, ' ');
  std::vector<char> area(text.begin(), text.end());
  area.push_back('\0');
  const std::string after = "k42k42k42";
  area.insert(area.end(), after.begin(), after.end());
  sink_.Clear();
  DecodeKeyCommands(area.data());
  const auto events = sink_.Events();
  ASSERT_EQ(events.size(), 2u * 170u);
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].virtualKey, 0x41);
    EXPECT_EQ(events[i].flags, i % 2 == 0 ? KEYEVENT_PRESS : KEYEVENT_KEYUP);
  }
}

TEST(ReadHexFieldTest, StopsAtTheZeroAndAtTheDigitCount) {
  const char text[] = "1Fz";
  EXPECT_EQ(ReadHexField(text, 2).value, 0x1Fu);
  EXPECT_EQ(ReadHexField(text, 2).next, text + 2);
  EXPECT_EQ(ReadHexField(text, 5).next, text + 3);  // the zero ends the field early
}

}  // namespace
}  // namespace srd
