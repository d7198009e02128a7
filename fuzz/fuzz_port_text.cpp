// The settings dialog's port text conversion on any UTF-16 text (the input's bytes taken in pairs): it must
// agree with the C library's wide decimal conversion in the "C" locale, clamped to a 32-bit long's range,
// and never read beyond the text it is given; and the entry the dialog takes must be exactly those texts that
// are a port number between blanks.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string_view>

#include "shell/settings_dialog.h"

namespace {

std::int32_t Reference(const char16_t* text, std::size_t length) {
  // wcstol reads up to a terminator: a zero unit ends the text there, as it would in the edit box.
  auto wide = std::make_unique<wchar_t[]>(length + 1);
  for (std::size_t i = 0; i < length; ++i) {
    wide[i] = static_cast<wchar_t>(text[i]);
  }
  wide[length] = L'\0';
  const long value = std::wcstol(wide.get(), nullptr, 10);
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  if (value < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t units = size / 2;
  if (units > 256) {
    return 0;
  }
  // An area exactly as long as the text, so AddressSanitizer sees any read past its end.
  auto text = std::make_unique<char16_t[]>(units == 0 ? 1 : units);
  std::memcpy(text.get(), data, units * 2);
  std::size_t length = 0;
  while (length < units && text[length] != u'\0') {
    ++length;
  }
  const std::int32_t got = srd::ParsePortText(std::u16string_view(text.get(), units));
  if (got != Reference(text.get(), length)) {
    __builtin_trap();
  }
  // The entry the dialog takes: the same number, when the text is nothing but blanks around digits that
  // name a port.
  const std::u16string_view entry(text.get(), length);
  const std::size_t first = entry.find_first_not_of(u" \t");
  const std::size_t last = entry.find_last_not_of(u" \t");
  bool digits = first != std::u16string_view::npos;
  for (std::size_t i = first; digits && i <= last; ++i) {
    digits = entry[i] >= u'0' && entry[i] <= u'9';
  }
  const std::int32_t number = srd::ParsePortText(entry);
  const bool port = digits && number >= 1 && number <= 65535;
  const std::optional<std::int32_t> taken = srd::PortEntryValue(entry);
  if (taken.has_value() != port || (port && *taken != number)) {
    __builtin_trap();
  }
  return 0;
}
