#include "platform/layout/system_layout.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace srd {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string_view ListItem(std::string_view list, unsigned index) {
  for (unsigned i = 0; i < index; ++i) {
    const auto comma = list.find(',');
    if (comma == std::string_view::npos) {
      return {};
    }
    list.remove_prefix(comma + 1);
  }
  return Trim(list.substr(0, list.find(',')));
}

// The value of a shell-style assignment NAME="value" or NAME=value on one line, when the line is one.
bool AssignedValue(std::string_view line, std::string_view name, std::string* value) {
  line = Trim(line);
  if (line.substr(0, name.size()) != name || line.substr(name.size(), 1) != "=") {
    return false;
  }
  std::string_view text = Trim(line.substr(name.size() + 1));
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  *value = std::string(text);
  return true;
}

}  // namespace

LayoutName LayoutOfGroup(std::string_view layouts, std::string_view variants, unsigned group) {
  if (ListItem(layouts, group).empty()) {
    group = 0;
  }
  LayoutName name;
  name.layout = std::string(ListItem(layouts, group));
  name.variant = std::string(ListItem(variants, group));
  if (name.layout.empty()) {
    name = LayoutName{};
  }
  return name;
}

KeyboardGroups GroupsOfLists(std::string_view layouts, std::string_view variants, unsigned active) {
  KeyboardGroups groups;
  // XKB keeps at most four groups.
  for (unsigned group = 0; group < 4 && (group == 0 || !ListItem(layouts, group).empty()); ++group) {
    groups.layouts.push_back(LayoutOfGroup(layouts, variants, group));
  }
  groups.active = active < groups.layouts.size() ? active : 0;
  return groups;
}

LayoutName SystemLayoutName(const char* keyboardFile) {
  std::string layouts;
  std::string variants;
  if (std::FILE* file = std::fopen(keyboardFile, "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) {
      AssignedValue(line, "XKBLAYOUT", &layouts);
      AssignedValue(line, "XKBVARIANT", &variants);
    }
    std::fclose(file);
  }
  if (Trim(layouts).empty()) {
    const char* layout = std::getenv("XKB_DEFAULT_LAYOUT");
    const char* variant = std::getenv("XKB_DEFAULT_VARIANT");
    layouts = layout != nullptr ? layout : "";
    variants = variant != nullptr ? variant : "";
  }
  LayoutName name = LayoutOfGroup(layouts, variants, 0);
  LayoutName checked;
  return ParseLayoutName(name.Text(), &checked) ? checked : LayoutName{};
}

}  // namespace srd
