#include "layout_list.h"

#include <algorithm>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_registry.h"

namespace srd::sender {
namespace {

bool HasNamedTable(const std::string& layout) {
  const auto named = NamedLayouts();
  return std::find(named.begin(), named.end(), layout) != named.end();
}

}  // namespace

std::string LayoutListText() {
  const std::vector<RegisteredLayout> layouts = RegisteredLayouts();
  if (layouts.empty()) {
    return "No keyboard layouts found: this machine's XKB data (xkb-data) cannot be read.\n";
  }
  std::string text =
      "Keyboard layouts for -l, as LAYOUT or LAYOUT:VARIANT. Those marked * are typed with the Windows\n"
      "layout's own table; the others place each letter and digit where their keymap has it, or keep the\n"
      "US positions when they have no Latin letters.\n\n";
  for (const RegisteredLayout& layout : layouts) {
    // Only the tabled layouts' variants need a keymap to tell whether they keep the table's letters; the
    // rest are decided by their keymap when used, so the listing stays quick.
    const bool tabled = HasNamedTable(layout.name.layout) &&
                        MakeKeyboardLayout(layout.name).Rule() == LayoutRule::kNamedTable;
    std::string name = layout.name.Text();
    text += tabled ? "* " : "  ";
    text += name;
    text.append(name.size() < 28 ? 28 - name.size() : 1, ' ');
    text += layout.description;
    text += '\n';
  }
  return text;
}

}  // namespace srd::sender
