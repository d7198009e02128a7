#include "support/keymap_text.h"

#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace srd::test {

std::string KeymapTextOf(const std::string& layouts) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  const xkb_rule_names names = {"evdev", "pc105", layouts.c_str(), "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  std::string text;
  if (keymap != nullptr) {
    char* string = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    text = string;
    std::free(string);
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
  return text;
}

}  // namespace srd::test
