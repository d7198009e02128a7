#include "platform/sys/unicode_text.h"

#include <unistd.h>

#include <cstdint>
#include <cwchar>

namespace srd {

std::size_t EncodeUtf8(char32_t codePoint, char* out) {
  const std::uint32_t c = codePoint;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  char bytes[4];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    out.append(bytes, EncodeUtf8(c, bytes));
  }
  return out;
}

bool LocaleTextToUtf16(std::string_view text, std::u16string* out) {
  std::u16string converted;
  std::mbstate_t state{};
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, p, left, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
      return false;
    }
    const auto code = static_cast<std::uint32_t>(wide);
    if (code >= 0x10000) {
      converted += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      converted += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      converted += static_cast<char16_t>(code);
    }
    p += n;
    left -= n;
  }
  *out = std::move(converted);
  return true;
}

std::string ReadHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name) != 0) {
    return {};
  }
  name[sizeof name - 1] = '\0';  // a truncated name need not be terminated
  return name;
}

}  // namespace srd
