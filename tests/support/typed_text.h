#pragma once

#include <string>
#include <vector>

#include "support/key_observer.h"

namespace srd {

// The text that key events type on the X server's keymap, as an editor would show it: every press of a key
// that is no modifier types the character its keysym names at the level the held Shift and AltGr keys
// select; Return types a newline and Tab a tab. Presses while Control or Alt is held, and keys whose keysym
// names no character, type nothing. A key the keymap names nothing for at all (a program that binds a spare
// keycode for a moment leaves it so) types kUnknownCharacter.
inline constexpr char32_t kUnknownCharacter = U'\uFFFD';
std::u32string TypedText(const std::vector<KeyEvent>& events, KeyObserver& observer);

// UTF-32 to UTF-8, for messages and comparisons with the text that was sent.
std::string Utf8Of(const std::u32string& text);

}  // namespace srd
