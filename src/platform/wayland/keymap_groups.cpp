#include "platform/wayland/keymap_groups.h"

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <optional>
#include <utility>

#include "platform/layout/layout_registry.h"

namespace srd {

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

  const std::vector<RegisteredLayout> registered = RegisteredLayouts();
  for (KeymapGroup& group : groups) {
    if (std::optional<LayoutName> listed = LayoutByDescription(registered, group.description)) {
      group.name = std::move(*listed);
      group.listed = true;
    }
  }
  return groups;
}

}  // namespace srd
