#include "platform/layout/vk_table.h"

#include "platform/layout/keyboard_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace srd {
namespace {

// Expected Linux key codes are numbers read off the kernel's input-event-codes, so the table is checked
// against an independent source rather than against the same macros. Code 0: the event injects nothing.
TEST(VkTable, EachFamilyMapsToTheKeyInTheSamePosition) {
  struct Family {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> rows;
  };
  const Family families[] = {
      {"letters by keyboard row", {{'Q', 16}, {'P', 25}, {'A', 30}, {'L', 38}, {'Z', 44}, {'M', 50}}},
      {"digits", {{0x30, 11}, {0x31, 2}, {0x39, 10}}},
      {"function keys", {{0x70, 59}, {0x79, 68}, {0x7A, 87}, {0x7B, 88}, {0x7C, 183}, {0x87, 194}}},
      {"keypad",
       {{0x60, 82}, {0x69, 73}, {0x6A, 55}, {0x6B, 78}, {0x6D, 74}, {0x6E, 83}, {0x6F, 98}, {0x90, 69}}},
      {"generic modifiers are the left keys",
       {{0x10, 42}, {0x11, 29}, {0x12, 56}, {0xA1, 54}, {0xA3, 97}, {0xA5, 100}, {0x5B, 125}}},
      // Kanji and Hankaku/Zenkaku are the key left of 1 (KEY_GRAVE), not KEY_ZENKAKUHANKAKU.
      {"japanese keys",
       {{0x19, 41}, {0xF3, 41}, {0x15, 93}, {0x1C, 92}, {0x1D, 94}, {0xF0, 58}, {0x16, 122}}},
      {"punctuation by US position",
       {{0xBA, 39}, {0xBB, 13}, {0xBF, 53}, {0xC0, 41}, {0xDC, 43}, {0xE2, 86}}},
      {"editing and navigation", {{0x08, 14}, {0x0D, 28}, {0x1B, 1}, {0x25, 105}, {0x2E, 111}, {0x29, 353}}},
      {"dropped: mouse buttons, markers, unassigned",
       {{0x00, 0}, {0x01, 0}, {0x02, 0}, {0x06, 0}, {0x0A, 0}, {0x3A, 0}, {0x5E, 0}, {0xE7, 0}, {0xFF, 0}}},
  };
  for (const Family& family : families) {
    for (const auto& [vk, code] : family.rows) {
      EXPECT_EQ(LinuxKeyCode(vk), code) << family.name << ": virtual key 0x" << std::hex << int{vk};
    }
  }
}

// The uinput device enables exactly these codes, so a code missing here could never be typed on some layout.
TEST(VkTable, EmittableCodesAreExactlyTheTableImageOverEveryLayout) {
  std::vector<std::uint16_t> image;
  for (std::string_view layout : NamedLayouts()) {
    const KeyboardLayout table = MakeKeyboardLayout(LayoutName{std::string(layout), ""});
    for (int vk = 0; vk < 256; ++vk) {
      if (std::uint16_t code = table.LinuxKeyCode(static_cast<std::uint8_t>(vk)); code != 0) {
        image.push_back(code);
      }
    }
  }
  std::sort(image.begin(), image.end());
  image.erase(std::unique(image.begin(), image.end()), image.end());
  auto emittable = EmittableLinuxKeyCodes();
  EXPECT_EQ(std::vector<std::uint16_t>(emittable.begin(), emittable.end()), image);
}

}  // namespace
}  // namespace srd
