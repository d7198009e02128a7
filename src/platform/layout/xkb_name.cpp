#include "platform/layout/xkb_name.h"

#include <algorithm>

namespace srd {

bool IsXkbName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxXkbNameLength &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '-';
         });
}

}  // namespace srd
