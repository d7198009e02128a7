#pragma once

#include <string_view>

// What may stand as an XKB layout or variant name: the one check every name passes before it reaches XKB,
// whoever gave it (the command line, the X server's rule names, a compositor, a desktop's settings, the
// system's keyboard file). XKB turns a layout name into the path of a file it opens, so anything but a plain
// name ("../../tmp/f") would open whatever file it points at.

namespace srd {

// The longest name accepted; XKB's own are far shorter.
inline constexpr std::size_t kMaxXkbNameLength = 64;

// A layout or variant name: 1 to kMaxXkbNameLength letters, digits, '_' and '-', as XKB names its layouts
// and variants.
bool IsXkbName(std::string_view name);

// The same for a variant, which may also be absent (empty).
inline bool IsXkbVariantName(std::string_view variant) {
  return variant.empty() || IsXkbName(variant);
}

}  // namespace srd
