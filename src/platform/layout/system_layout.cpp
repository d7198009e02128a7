#include "platform/layout/system_layout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/layout/xkb_name.h"

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

// Far more lines than a keyboard file has; the rest of a longer file is not read.
constexpr int kMaxKeyboardFileLines = 1000;

// The file for reading when it is a regular one; nullptr otherwise. Opened without waiting, so that a FIFO
// or a device under the name cannot hold the start up.
std::FILE* OpenRegularFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return nullptr;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "r");
  if (file == nullptr) {
    close(fd);
  }
  return file;
}

}  // namespace

LayoutName LayoutOfGroup(std::string_view layouts, std::string_view variants, unsigned group) {
  if (ListItem(layouts, group).empty()) {
    group = 0;
  }
  const std::string_view layout = ListItem(layouts, group);
  const std::string_view variant = ListItem(variants, group);
  // Whoever can write the lists (any client of an X display can set its rule names) could name a path: such
  // a group is taken for us, as one without a name is.
  if (!IsXkbName(layout) || !IsXkbVariantName(variant)) {
    return LayoutName{};
  }
  return LayoutName{std::string(layout), std::string(variant)};
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
  if (std::FILE* file = OpenRegularFile(keyboardFile)) {
    char line[512];
    for (int lines = 0; lines < kMaxKeyboardFileLines && std::fgets(line, sizeof line, file) != nullptr;
         ++lines) {
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
