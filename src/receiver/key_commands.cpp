#include "receiver/key_commands.h"

#include "platform/keys/key_sink.h"

namespace srd {

namespace {

constexpr std::uint32_t kChordKanji = 0x103;   // left Alt + Kanji: the IME toggle
constexpr std::uint32_t kChordAltF6 = 0x104;   // right Alt + F6

void Emit(std::uint8_t virtualKey, std::uint32_t flags) { KeySink(virtualKey, 0, flags, KEY_EVENT_TAG); }

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
    // The sender's digit rule, kept to the bit: the byte is signed, so 0x80-0xFF are below '9' and keep their
    // low four bits as they stand.
    int c = static_cast<signed char>(*position);
    if (c > 0x39) {
      c -= 7;
    }
    value = value * 16 + static_cast<std::uint32_t>(c & 0xF);
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
      case 'K': press = true; digits = 3; break;
      case 'U': press = false; digits = 3; break;
      case 'k': press = true; digits = 2; break;
      case 'u': press = false; digits = 2; break;
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
