#include "text_encoding.h"

#include <cstdio>

#include "layout_typing.h"
#include "platform/sys/unicode_text.h"

namespace srd::sender {
namespace {

// US punctuation keys: the unshifted and the shifted character of each, with its virtual-key code.
struct PunctuationKey {
  char plain;
  char shifted;
  std::uint8_t virtualKey;
};
constexpr PunctuationKey kPunctuation[] = {
    {';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC},  {'-', '_', 0xBD},
    {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0},  {'[', '{', 0xDB},
    {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE},
};

// The shifted symbols of the digit row, indexed by digit.
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

void AppendUtf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(c, bytes));
}

bool IsControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

std::optional<KeyStroke> UsKeyboardStroke(char32_t c) {
  if (c >= 'a' && c <= 'z') {
    return KeyStroke{static_cast<std::uint8_t>(c - 'a' + 'A')};
  }
  if (c >= 'A' && c <= 'Z') {
    return KeyStroke{static_cast<std::uint8_t>(c), true};
  }
  if (c >= '0' && c <= '9') {
    return KeyStroke{static_cast<std::uint8_t>(c)};
  }
  switch (c) {
    case ' ':
      return KeyStroke{VK_SPACE};
    case '\n':
      return KeyStroke{VK_RETURN};
    case '\t':
      return KeyStroke{VK_TAB};
    default:
      break;
  }
  for (int digit = 0; digit < 10; ++digit) {
    if (c == static_cast<char32_t>(kShiftedDigits[digit])) {
      return KeyStroke{static_cast<std::uint8_t>('0' + digit), true};
    }
  }
  for (const PunctuationKey& key : kPunctuation) {
    if (c == static_cast<char32_t>(key.plain)) {
      return KeyStroke{key.virtualKey};
    }
    if (c == static_cast<char32_t>(key.shifted)) {
      return KeyStroke{key.virtualKey, true};
    }
  }
  return std::nullopt;
}

std::optional<Utf8Character> DecodeUtf8Character(std::string_view bytes, bool* incomplete) {
  if (incomplete != nullptr) {
    *incomplete = false;
  }
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) {
    return Utf8Character{lead, 1};
  }
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= bytes.size()) {
      if (incomplete != nullptr) {
        *incomplete = true;
      }
      return std::nullopt;
    }
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0) != 0x80) {
      return std::nullopt;
    }
    value = (value << 6) | (next & 0x3Fu);
    // Reject overlong, surrogate and out-of-range forms as soon as the second byte shows them, so an
    // unfinished but already impossible beginning is not reported as merely incomplete.
    if (i == 1) {
      const char32_t shift = static_cast<char32_t>(6 * (length - 2));
      const char32_t low = value << shift;
      const char32_t high = low | ((char32_t{1} << shift) - 1);
      if (high < minimum || low > 0x10FFFF || (low >= 0xD800 && high <= 0xDFFF)) {
        return std::nullopt;
      }
    }
  }
  return Utf8Character{value, length};
}

EncodedText EncodeText(std::string_view utf8, const LayoutTyping* typing, TextPosition start) {
  EncodedText result;
  std::size_t index = start.index;
  std::size_t line = start.line;
  std::size_t column = start.column;
  std::size_t offset = 0;
  while (offset < utf8.size()) {
    ++index;
    ++column;
    const std::optional<Utf8Character> character = DecodeUtf8Character(utf8.substr(offset));
    if (!character) {
      result.datagrams.clear();
      result.refusal = TextRefusal{true, static_cast<unsigned char>(utf8[offset]), 0, index, line, column};
      return result;
    }
    offset += character->length;
    char32_t c = character->codePoint;
    if (c == '\r' && offset < utf8.size() && utf8[offset] == '\n') {
      // CR LF: the CR is part of the line end that the LF types.
      ++offset;
      c = '\n';
    }
    std::vector<KeyStroke> strokes;
    if (typing != nullptr) {
      strokes = typing->StrokesFor(c);
    } else if (const std::optional<KeyStroke> stroke = UsKeyboardStroke(c)) {
      strokes.push_back(*stroke);
    }
    if (strokes.empty()) {
      result.datagrams.clear();
      result.refusal = TextRefusal{false, 0, c, index, line, column};
      if (typing != nullptr) {
        result.refusal->keyboard = "the " + typing->Name().Text() + " layout";
      }
      return result;
    }
    std::string datagram = StrokeDatagram(strokes[0]);
    for (std::size_t i = 1; i < strokes.size(); ++i) {
      datagram += StrokeDatagram(strokes[i]).substr(1);  // one "?" for the whole datagram
    }
    result.datagrams.push_back(std::move(datagram));
    if (c == '\n') {
      ++line;
      column = 0;
    }
  }
  result.end = TextPosition{index, line, column};
  return result;
}

std::string DescribeRefusal(const TextRefusal& refusal, bool byLine) {
  char place[96];
  if (byLine) {
    std::snprintf(place, sizeof place, "line %zu, column %zu", refusal.line, refusal.column);
  } else {
    std::snprintf(place, sizeof place, "character %zu", refusal.index);
  }
  char head[64];
  if (refusal.invalidUtf8) {
    std::snprintf(head, sizeof head, "invalid UTF-8 (byte 0x%02X)", refusal.badByte);
    return std::string(head) + " at " + place;
  }
  std::snprintf(head, sizeof head, "U+%04X", static_cast<unsigned>(refusal.codePoint));
  std::string text = "cannot type ";
  text += head;
  if (!IsControl(refusal.codePoint)) {
    text += " \"";
    AppendUtf8(text, refusal.codePoint);
    text += "\"";
  } else {
    text += " (a control character)";
  }
  text += " at ";
  text += place;
  text += ": " + refusal.keyboard + " has no key for it";
  return text;
}

}  // namespace srd::sender
