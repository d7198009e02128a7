#include "platform/wayland/keymap_groups.h"

#include <memory>
#include <optional>
#include <utility>

#include "platform/layout/layout_keymap.h"
#include "platform/layout/layout_registry.h"

namespace srd {

std::vector<KeymapGroup> KeymapGroups(const std::string& keymapText) {
  std::vector<KeymapGroup> groups;
  const std::optional<std::vector<std::string>> names = KeymapGroupNames(keymapText);
  if (!names) {
    return groups;
  }
  const auto text = std::make_shared<const std::string>(keymapText);
  for (unsigned i = 0; i < names->size(); ++i) {
    KeymapGroup group;
    group.description = (*names)[i];
    group.name = LayoutName{group.description, ""};
    group.name.keymap = text;
    group.name.group = i;
    groups.push_back(std::move(group));
  }

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
