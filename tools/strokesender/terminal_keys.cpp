#include "terminal_keys.h"

#include <optional>

#include "layout_typing.h"
#include "text_encoding.h"

namespace srd::sender {
namespace {

constexpr char kEscape = 0x1B;

// The outcome of reading one key from the front of the pending bytes.
struct Step {
  std::size_t consumed = 0;  // 0: the bytes are an unfinished sequence, wait for more
  std::optional<TerminalKey> key;
  char32_t character = 0;  // the printable character the bytes are, when they are one
};

TerminalKey Stroke(KeyStroke stroke) {
  return TerminalKey{TerminalKey::Kind::kStroke, stroke, 0};
}
TerminalKey Stroke(std::uint8_t virtualKey) {
  return Stroke(KeyStroke{virtualKey});
}

// The key a single byte below 0x80 stands for (not ESC).
std::optional<TerminalKey> SingleByteKey(unsigned char byte) {
  switch (byte) {
    case kEndOfTyping:
      return TerminalKey{TerminalKey::Kind::kEnd, {}, 0};
    case 0x7F:
    case 0x08:
      return Stroke(VK_BACK);
    case 0x09:
      return Stroke(VK_TAB);
    case 0x0D:
    case 0x0A:
      return Stroke(VK_RETURN);
    case 0x00:
      return Stroke(KeyStroke{VK_SPACE, false, true});
    case 0x1C:
      return Stroke(KeyStroke{VK_OEM_5, false, true});
    case 0x1E:
      return Stroke(KeyStroke{'6', true, true});
    case 0x1F:
      return Stroke(KeyStroke{VK_OEM_MINUS, false, true});
    default:
      break;
  }
  if (byte >= 0x01 && byte <= 0x1A) {
    return Stroke(KeyStroke{static_cast<std::uint8_t>('A' + byte - 1), false, true});
  }
  if (const std::optional<KeyStroke> stroke = UsKeyboardStroke(byte)) {
    return Stroke(*stroke);
  }
  return std::nullopt;
}

// Applies an xterm modifier parameter (1 + bits: 1 Shift, 2 Alt, 4 Ctrl) to a stroke.
TerminalKey WithModifiers(std::uint8_t virtualKey, int modifier) {
  KeyStroke stroke{virtualKey};
  if (modifier > 1) {
    const int bits = modifier - 1;
    stroke.shift = (bits & 1) != 0;
    stroke.alt = (bits & 2) != 0;
    stroke.control = (bits & 4) != 0;
  }
  return Stroke(stroke);
}

// The key for the final letter of "ESC [ 1 ; m X" or "ESC O X": arrows, Home/End, F1-F4; 0 when unknown.
std::uint8_t LetterKey(char letter) {
  switch (letter) {
    case 'A':
      return VK_UP;
    case 'B':
      return VK_DOWN;
    case 'C':
      return VK_RIGHT;
    case 'D':
      return VK_LEFT;
    case 'H':
      return VK_HOME;
    case 'F':
      return VK_END;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return static_cast<std::uint8_t>(VK_F1 + (letter - 'P'));
    default:
      return 0;
  }
}

// The key for "ESC [ n ~"; 0 when unknown.
std::uint8_t TildeKey(int code) {
  switch (code) {
    case 1:
    case 7:
      return VK_HOME;
    case 2:
      return VK_INSERT;
    case 3:
      return VK_DELETE;
    case 4:
    case 8:
      return VK_END;
    case 5:
      return VK_PRIOR;
    case 6:
      return VK_NEXT;
    default:
      break;
  }
  // F1-F12: 11-15, 17-21, 23-24 (the gaps are historical).
  if (code >= 11 && code <= 15) {
    return static_cast<std::uint8_t>(VK_F1 + code - 11);
  }
  if (code >= 17 && code <= 21) {
    return static_cast<std::uint8_t>(VK_F1 + 5 + code - 17);
  }
  if (code == 23 || code == 24) {
    return static_cast<std::uint8_t>(VK_F1 + 10 + code - 23);
  }
  return 0;
}

// "ESC [ ..." starting at bytes[0] == ESC, bytes[1] == '['.
Step ReadControlSequence(std::string_view bytes, bool final) {
  // Linux console F1-F5: ESC [ [ A..E.
  if (bytes.size() >= 3 && bytes[2] == '[') {
    if (bytes.size() < 4) {
      return final ? Step{3, std::nullopt} : Step{};
    }
    if (bytes[3] >= 'A' && bytes[3] <= 'E') {
      return Step{4, Stroke(static_cast<std::uint8_t>(VK_F1 + bytes[3] - 'A'))};
    }
    return Step{4, std::nullopt};
  }
  int params[4] = {0, 0, 0, 0};
  int count = 0;
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9') {
      if (count < 4 && params[count] < 10000) {
        params[count] = params[count] * 10 + (c - '0');
      }
    } else if (c == ';') {
      ++count;
    } else if ((c >= 0x3C && c <= 0x3F) || (c >= 0x20 && c <= 0x2F)) {
      // private markers and intermediates: sequences that carry them are not keys
      params[0] = -1;
    } else if (c >= 0x40 && c <= 0x7E) {
      const std::size_t length = i + 1;
      if (params[0] < 0) {
        return Step{length, std::nullopt};
      }
      const int modifier = count >= 1 ? params[1] : 1;
      if (c == '~') {
        const std::uint8_t key = TildeKey(params[0]);
        return Step{length, key != 0 ? std::optional(WithModifiers(key, modifier)) : std::nullopt};
      }
      if (c == 'Z') {
        return Step{length, Stroke(KeyStroke{VK_TAB, true})};
      }
      const std::uint8_t key = LetterKey(c);
      return Step{length, key != 0 ? std::optional(WithModifiers(key, modifier)) : std::nullopt};
    } else {
      // Not a sequence after all: drop the introducer and read the rest as typed bytes.
      return Step{2, std::nullopt};
    }
  }
  // Unfinished; when no more is coming, drop what there is.
  return final ? Step{bytes.size(), std::nullopt} : Step{};
}

Step ReadOne(std::string_view bytes, bool final) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead == static_cast<unsigned char>(kEscape)) {
    if (bytes.size() == 1) {
      return final ? Step{1, Stroke(VK_ESCAPE)} : Step{};
    }
    if (bytes[1] == '[') {
      if (bytes.size() == 2) {
        // ESC [ alone once the terminal fell silent: Alt+[
        return final ? Step{2, Stroke(KeyStroke{0xDB, false, false, true})} : Step{};
      }
      return ReadControlSequence(bytes, final);
    }
    if (bytes[1] == 'O') {
      if (bytes.size() == 2) {
        return final ? Step{2, Stroke(KeyStroke{'O', true, false, true})} : Step{};
      }
      if (bytes[2] == 'M') {
        return Step{3, Stroke(VK_RETURN)};
      }
      const std::uint8_t key = LetterKey(bytes[2]);
      return Step{3, key != 0 ? std::optional(Stroke(key)) : std::nullopt};
    }
    // ESC before an ordinary byte: the key typed with Alt (Meta sends ESC prefix).
    const auto next = static_cast<unsigned char>(bytes[1]);
    if (next < 0x80 && next != static_cast<unsigned char>(kEscape) && next != kEndOfTyping) {
      if (std::optional<TerminalKey> key = SingleByteKey(next)) {
        key->stroke.alt = true;
        return Step{2, key};
      }
    }
    return Step{1, Stroke(VK_ESCAPE)};
  }
  if (lead < 0x80) {
    return Step{1, SingleByteKey(lead), lead >= 0x20 && lead < 0x7F ? char32_t{lead} : 0};
  }
  bool incomplete = false;
  const std::optional<Utf8Character> character = DecodeUtf8Character(bytes, &incomplete);
  if (character) {
    return Step{character->length, TerminalKey{TerminalKey::Kind::kUntypeable, {}, character->codePoint},
                character->codePoint};
  }
  if (incomplete && !final) {
    return Step{};
  }
  return Step{1, TerminalKey{TerminalKey::Kind::kUntypeable, {}, 0xFFFD}};
}

}  // namespace

std::vector<TerminalKey> TerminalKeyReader::Feed(std::string_view bytes) {
  pending_.append(bytes);
  return Drain(false);
}

std::vector<TerminalKey> TerminalKeyReader::Flush() {
  return Drain(true);
}

std::vector<TerminalKey> TerminalKeyReader::Drain(bool final) {
  std::vector<TerminalKey> keys;
  std::size_t offset = 0;
  while (offset < pending_.size()) {
    const Step step = ReadOne(std::string_view(pending_).substr(offset), final);
    if (step.consumed == 0) {
      break;
    }
    offset += step.consumed;
    if (typing_ != nullptr && step.character != 0) {
      // A character: the keys the receiver's layout types it with (a dead key and its base are two keys).
      const std::vector<KeyStroke> strokes = typing_->StrokesFor(step.character);
      if (strokes.empty()) {
        keys.push_back(TerminalKey{TerminalKey::Kind::kUntypeable, {}, step.character});
      }
      for (const KeyStroke& stroke : strokes) {
        keys.push_back(Stroke(stroke));
      }
    } else if (step.key) {
      keys.push_back(*step.key);
    }
  }
  pending_.erase(0, offset);
  return keys;
}

}  // namespace srd::sender
