#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "key_stroke.h"

// Reads the bytes a terminal in raw mode delivers and tells which keys were pressed: printable characters,
// control characters (Ctrl+letter, Enter, Tab, Backspace), and the escape sequences xterm, VT-style terminals
// and the Linux console send for arrows, Home/End, Page Up/Down, Insert/Delete and F1-F12, with their
// modifiers.

namespace srd::sender {

// Ctrl-] ends interactive typing; it is never sent.
inline constexpr char kEndOfTyping = 0x1D;

struct TerminalKey {
  enum class Kind {
    kStroke,      // a key to send
    kEnd,         // Ctrl-]: stop
    kUntypeable,  // a character the layout has no key for (codePoint; U+FFFD for bytes that are not UTF-8)
  };
  Kind kind = Kind::kStroke;
  KeyStroke stroke;
  char32_t codePoint = 0;

  friend bool operator==(const TerminalKey&, const TerminalKey&) = default;
};

class LayoutTyping;

class TerminalKeyReader {
 public:
  // Printable characters are typed with the keys of typing's layout; without one, as on a US keyboard.
  explicit TerminalKeyReader(const LayoutTyping* typing = nullptr) : typing_(typing) {}

  // Takes the next bytes from the terminal and returns the keys they complete. An escape sequence or UTF-8
  // character split across reads is kept until its rest arrives.
  std::vector<TerminalKey> Feed(std::string_view bytes);
  // True while bytes are held back waiting for the rest of a sequence. The caller waits a short while for
  // more and calls Flush when nothing came: the held bytes then stand for themselves (a lone ESC is the
  // Escape key).
  bool HasPending() const { return !pending_.empty(); }
  std::vector<TerminalKey> Flush();

 private:
  std::vector<TerminalKey> Drain(bool final);
  const LayoutTyping* typing_;
  std::string pending_;
};

}  // namespace srd::sender
