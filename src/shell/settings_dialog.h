#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/ui/window_layer.h"

// The settings dialog (template 107): shows and changes the UDP port.

namespace srd {

inline constexpr int SETTINGS_PORT_EDIT = 1057;
// A line under the edit box that says why OK did not take the entry; empty until then.
inline constexpr int SETTINGS_PORT_MESSAGE = 1058;
// The edit box is read into 32 units: at most 30 characters and the terminator.
inline constexpr int SETTINGS_TEXT_UNITS = 32;
inline constexpr int SETTINGS_TEXT_LIMIT = 31;

LResult SettingsDialog(Window* dialog, std::uint32_t message, WParam wParam, LParam lParam);

// Decimal conversion of UTF-16 text to a signed number as the C library's wide conversion does it: leading
// white space, an optional sign, then decimal digits up to the first other character; 0 when no digit
// follows. A value beyond the signed 32-bit range is clamped to it (a 32-bit long's range).
std::int32_t ParsePortText(std::u16string_view text);

// The port an entry names: decimal digits only, blanks (space, tab) allowed around them, 1 to 65535. Nothing
// for anything else ("12ab34", "8102.5", "+80", "0", "70000", an empty entry).
std::optional<std::int32_t> PortEntryValue(std::u16string_view text);

}  // namespace srd
