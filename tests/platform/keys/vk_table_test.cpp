#include "platform/keys/vk_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace srd {
namespace {

// Expected Linux key codes are written as numbers here, read off the kernel's input-event-codes, so that the
// table is checked against an independent source rather than against the same macros.
struct Row {
  std::uint8_t virtualKey;
  std::uint16_t code;
};

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(LinuxKeyCode(row.virtualKey), row.code) << "virtual key 0x" << std::hex << int{row.virtualKey};
  }
}

TEST(VkTable, LettersFollowTheKeyboardRowsNotTheAlphabet) {
  // QWERTY rows: Q..P = 16..25, A..L = 30..38, Z..M = 44..50.
  const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  const std::uint16_t starts[] = {16, 30, 44};
  for (int r = 0; r < 3; ++r) {
    std::uint16_t code = starts[r];
    for (const char* letter = rows[r]; *letter != '\0'; ++letter, ++code) {
      EXPECT_EQ(LinuxKeyCode(static_cast<std::uint8_t>(*letter)), code) << *letter;
    }
  }
}

TEST(VkTable, DigitsAndFunctionKeys) {
  ExpectRows({{0x30, 11}, {0x31, 2}, {0x35, 6}, {0x39, 10}});
  ExpectRows({{0x70, 59}, {0x79, 68}, {0x7A, 87}, {0x7B, 88}, {0x7C, 183}, {0x87, 194}});
}

TEST(VkTable, Keypad) {
  ExpectRows({{0x60, 82},
              {0x61, 79},
              {0x65, 76},
              {0x69, 73},
              {0x6A, 55},
              {0x6B, 78},
              {0x6C, 121},
              {0x6D, 74},
              {0x6E, 83},
              {0x6F, 98},
              {0x90, 69},
              {0x0C, 76}});
}

TEST(VkTable, GenericModifiersAreTheLeftKeys) {
  ExpectRows({{0x10, 42},
              {0x11, 29},
              {0x12, 56},
              {0xA0, 42},
              {0xA1, 54},
              {0xA2, 29},
              {0xA3, 97},
              {0xA4, 56},
              {0xA5, 100},
              {0x5B, 125},
              {0x5C, 126}});
}

TEST(VkTable, JapaneseKeys) {
  // Kanji and the Hankaku/Zenkaku codes are the key left of 1 (KEY_GRAVE), not KEY_ZENKAKUHANKAKU.
  ExpectRows({{0x19, 41},
              {0xF3, 41},
              {0xF4, 41},
              {0x15, 93},
              {0xF1, 93},
              {0xF2, 93},
              {0x1C, 92},
              {0x1D, 94},
              {0xF0, 58},
              {0x16, 122},
              {0x1A, 123}});
}

TEST(VkTable, PunctuationByUsPositionAndNavigation) {
  ExpectRows({{0xBA, 39},
              {0xBB, 13},
              {0xBC, 51},
              {0xBD, 12},
              {0xBE, 52},
              {0xBF, 53},
              {0xC0, 41},
              {0xDB, 26},
              {0xDC, 43},
              {0xDD, 27},
              {0xDE, 40},
              {0xE2, 86}});
  ExpectRows({{0x08, 14},
              {0x09, 15},
              {0x0D, 28},
              {0x1B, 1},
              {0x20, 57},
              {0x25, 105},
              {0x26, 103},
              {0x2E, 111},
              {0x29, 353},
              {0xFB, 372}});
}

TEST(VkTable, MouseButtonsMarkersAndUnassignedCodesInjectNothing) {
  for (std::uint8_t vk :
       std::initializer_list<std::uint8_t>{0x00, 0x01, 0x02, 0x04, 0x05, 0x06, 0x07, 0x0A, 0x3A, 0x40, 0x5E,
                                           0x88, 0xDF, 0xE5, 0xE7, 0xFE, 0xFF}) {
    EXPECT_EQ(LinuxKeyCode(vk), 0) << "virtual key 0x" << std::hex << int{vk};
  }
}

TEST(VkTable, EmittableCodesAreExactlyTheTableImage) {
  std::vector<std::uint16_t> image;
  for (int vk = 0; vk < 256; ++vk) {
    if (std::uint16_t code = LinuxKeyCode(static_cast<std::uint8_t>(vk)); code != 0) {
      image.push_back(code);
    }
  }
  std::sort(image.begin(), image.end());
  image.erase(std::unique(image.begin(), image.end()), image.end());
  auto emittable = EmittableLinuxKeyCodes();
  EXPECT_EQ(std::vector<std::uint16_t>(emittable.begin(), emittable.end()), image);
}

}  // namespace
}  // namespace srd
