#include "platform/layout/layout_registry.h"

#include <xkbcommon/xkbregistry.h>

namespace srd {

std::vector<RegisteredLayout> RegisteredLayouts() {
  std::vector<RegisteredLayout> layouts;
  rxkb_context* context = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
  if (context == nullptr) {
    return layouts;
  }
  // Without the rules' registry (no xkb-data), nothing is listed rather than a partial guess.
  if (rxkb_context_parse_default_ruleset(context)) {
    for (rxkb_layout* layout = rxkb_layout_first(context); layout != nullptr;
         layout = rxkb_layout_next(layout)) {
      const char* name = rxkb_layout_get_name(layout);
      const char* variant = rxkb_layout_get_variant(layout);
      const char* description = rxkb_layout_get_description(layout);
      if (name == nullptr) {
        continue;
      }
      layouts.push_back(RegisteredLayout{LayoutName{name, variant != nullptr ? variant : ""},
                                         description != nullptr ? description : ""});
    }
  }
  rxkb_context_unref(context);
  return layouts;
}

std::optional<LayoutName> LayoutByDescription(std::string_view description) {
  std::optional<LayoutName> found;
  for (const RegisteredLayout& layout : RegisteredLayouts()) {
    if (layout.description != description) {
      continue;
    }
    // A base layout wins over a variant that happens to share its description.
    if (layout.name.variant.empty()) {
      return layout.name;
    }
    if (!found) {
      found = layout.name;
    }
  }
  return found;
}

}  // namespace srd
