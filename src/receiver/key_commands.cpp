#include "receiver/key_commands.h"

#include <array>

#include "platform/keys/key_sink.h"

namespace srd {

namespace {

constexpr std::uint32_t kChordKanji = 0x103;  // left Alt + Kanji: the IME toggle
constexpr std::uint32_t kChordAltF6 = 0x104;  // right Alt + F6

// The digit each byte gives, by the sender's rule kept to the bit: the byte taken as a signed 8-bit number,
// less 7 when above '9', its low four bits. So 0x80-0xFF, being negative, keep their low four bits as they
// stand, and every byte is a digit of some value. Computed once, looked up per byte.
constexpr std::array<std::uint8_t, 256> kDigitOf = [] {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    int c = static_cast<signed char>(b);
    if (c > 0x39) {
      c -= 7;
    }
    table[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(c & 0xF);
  }
  return table;
}();
static_assert(kDigitOf['0'] == 0 && kDigitOf['9'] == 9 && kDigitOf['A'] == 10 && kDigitOf['f'] == 15);
static_assert(kDigitOf[0xC1] == 1 && kDigitOf['G'] == 0 && kDigitOf['\r'] == 0xD);

void Emit(std::uint8_t virtualKey, std::uint32_t flags) {
  KeySink(virtualKey, 0, flags, KEY_EVENT_TAG);
}

void EmitChord(std::uint8_t modifier, std::uint8_t key) {
  Emit(modifier, KEYEVENT_PRESS);
  Emit(key, KEYEVENT_PRESS);
  Emit(key, KEYEVENT_KEYUP);
  Emit(modifier, KEYEVENT_KEYUP);
}

}  // namespace

HexField ReadHexField(const char* position, int maxDigits) {
  std::uint32_t value = 0;
  int count = 0;
  while (*position != '\0' && count < maxDigits) {
    value = value * 16 + kDigitOf[static_cast<unsigned char>(*position)];
    ++position;
    ++count;
  }
  return {value, position};
}

void DecodeKeyCommands(const char* text) {
  if (text[0] != '?') {
    return;
  }
  const char* position = text + 1;
  for (;;) {
    const char b = *position;
    if (b == '\0' || b == '\r' || b == '\n') {
      return;
    }
    bool press;
    int digits;
    switch (b) {
      case 'K':
        press = true;
        digits = 3;
        break;
      case 'U':
        press = false;
        digits = 3;
        break;
      case 'k':
        press = true;
        digits = 2;
        break;
      case 'u':
        press = false;
        digits = 2;
        break;
      default:
        ++position;  // anything else, a blank for example, is skipped
        continue;
    }
    const HexField field = ReadHexField(position + 1, digits);
    position = field.next;
    if (field.value < 256) {
      if (field.value != 0) {
        Emit(static_cast<std::uint8_t>(field.value), press ? KEYEVENT_PRESS : KEYEVENT_KEYUP);
      }
    } else if (press && field.value == kChordKanji) {
      EmitChord(0xA4, 0x19);
    } else if (press && field.value == kChordAltF6) {
      EmitChord(0xA5, 0x75);
    }
  }
}

}  // namespace srd
