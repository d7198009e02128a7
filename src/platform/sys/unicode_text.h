#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between the window layer's UTF-16 text, UTF-8 and the locale's multibyte encoding.

namespace srd {

// Writes one code point as UTF-8 into out (room for 4 bytes); returns the number of bytes written.
std::size_t EncodeUtf8(char32_t codePoint, char* out);

// UTF-16 to UTF-8. Surrogate pairs become one code point; a lone surrogate is encoded as it stands.
std::string Utf16ToUtf8(std::u16string_view text);

// The locale's multibyte text to UTF-16; false (and *out unchanged) when the bytes are not text in that
// encoding.
bool LocaleTextToUtf16(std::string_view text, std::u16string* out);

// The machine's host name as gethostname gives it (at most 255 bytes); empty when it cannot be read.
std::string ReadHostName();

}  // namespace srd
