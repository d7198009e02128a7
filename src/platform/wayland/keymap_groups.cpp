#include "platform/wayland/keymap_groups.h"

#include <xkbcommon/xkbcommon.h>
#include <xkbcommon/xkbregistry.h>

#include <memory>
#include <utility>

namespace srd {

namespace {

// The layout whose registry description is `description`; a layout of its own before a variant of another
// that happens to share it. Empty layout when none has it.
LayoutName LayoutDescribedAs(rxkb_context* registry, const std::string& description) {
  LayoutName variantMatch{"", ""};
  for (rxkb_layout* layout = rxkb_layout_first(registry); layout != nullptr;
       layout = rxkb_layout_next(layout)) {
    const char* text = rxkb_layout_get_description(layout);
    if (text == nullptr || description != text) {
      continue;
    }
    const char* variant = rxkb_layout_get_variant(layout);
    LayoutName name{rxkb_layout_get_name(layout), variant != nullptr ? variant : ""};
    if (name.variant.empty()) {
      return name;
    }
    if (variantMatch.layout.empty()) {
      variantMatch = name;
    }
  }
  return variantMatch;
}

}  // namespace

std::vector<KeymapGroup> KeymapGroups(const std::string& keymapText) {
  std::vector<KeymapGroup> groups;
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  if (context == nullptr) {
    return groups;
  }
  xkb_context_set_log_level(context, XKB_LOG_LEVEL_CRITICAL);
  xkb_keymap* keymap = xkb_keymap_new_from_string(context, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                  XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb_context_unref(context);
  if (keymap == nullptr) {
    return groups;
  }
  const auto text = std::make_shared<const std::string>(keymapText);
  const xkb_layout_index_t count = xkb_keymap_num_layouts(keymap);
  for (xkb_layout_index_t i = 0; i < count; ++i) {
    const char* name = xkb_keymap_layout_get_name(keymap, i);
    KeymapGroup group;
    group.description = name != nullptr ? name : "";
    group.name = LayoutName{group.description, ""};
    group.name.keymap = text;
    group.name.group = i;
    groups.push_back(std::move(group));
  }
  xkb_keymap_unref(keymap);

  rxkb_context* registry = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
  if (registry != nullptr) {
    rxkb_context_set_log_level(registry, RXKB_LOG_LEVEL_CRITICAL);
  }
  if (registry != nullptr && rxkb_context_parse_default_ruleset(registry)) {
    for (KeymapGroup& group : groups) {
      LayoutName listed = LayoutDescribedAs(registry, group.description);
      if (!listed.layout.empty()) {
        group.name = std::move(listed);
        group.listed = true;
      }
    }
  }
  if (registry != nullptr) {
    rxkb_context_unref(registry);
  }
  return groups;
}

}  // namespace srd
