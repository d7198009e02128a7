#include "platform/layout/layout_keymap.h"

#include <sys/stat.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/layout/keymap_text.h"
#include "platform/layout/xkb_name.h"

namespace srd {

namespace {

// XKB keycodes under the evdev rules are the Linux key code + 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

// Fewer Latin letters than this on the plain level: the layout writes another script.
constexpr int kMinimumLatinLetters = 20;

bool IsVirtualKeyLetterOrDigit(std::uint8_t virtualKey) {
  return (virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z');
}

// The letter or digit a keysym is, as the virtual-key code of that letter or digit; 0 for anything else.
std::uint8_t LetterOrDigitCode(std::uint32_t keysym) {
  if (keysym >= XKB_KEY_a && keysym <= XKB_KEY_z) {
    return static_cast<std::uint8_t>('A' + (keysym - XKB_KEY_a));
  }
  if (keysym >= XKB_KEY_A && keysym <= XKB_KEY_Z) {
    return static_cast<std::uint8_t>(keysym);
  }
  if (keysym >= XKB_KEY_0 && keysym <= XKB_KEY_9) {
    return static_cast<std::uint8_t>(keysym);
  }
  return 0;
}

}  // namespace

namespace {

// Whether the files XKB opens for a layout's names, in every place it looks for them, are regular files
// wherever they exist: XKB opens them with a plain open, which a FIFO (or a device) would hold for good. The
// names themselves are plain ones by now, so these are files inside XKB's own directories.
bool NamedFilesAreRegular(xkb_context* context, const LayoutName& name) {
  const std::string files[] = {"rules/evdev", "symbols/" + name.layout};
  for (unsigned i = 0; i < xkb_context_num_include_paths(context); ++i) {
    const char* directory = xkb_context_include_path_get(context, i);
    for (const std::string& file : files) {
      struct stat info {};
      if (directory != nullptr && stat((std::string(directory) + "/" + file).c_str(), &info) == 0 &&
          !S_ISREG(info.st_mode)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<LayoutKeymap> LayoutKeymap::Compile(const LayoutName& name) {
  // The one gate before XKB: a name that is no plain XKB name (a path, say) is no layout.
  if (!IsXkbName(name.layout) || !IsXkbVariantName(name.variant)) {
    return nullptr;
  }
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  if (context == nullptr) {
    return nullptr;
  }
  xkb_context_set_log_level(context, XKB_LOG_LEVEL_CRITICAL);
  if (!NamedFilesAreRegular(context, name)) {
    xkb_context_unref(context);
    return nullptr;
  }
  const xkb_rule_names names = {"evdev", "pc105", name.layout.c_str(), name.variant.c_str(), ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb_context_unref(context);
  if (keymap == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<LayoutKeymap>(new LayoutKeymap(keymap, 0));
}

xkb_keymap* CompileKeymapText(const std::string& text) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  if (context == nullptr) {
    return nullptr;
  }
  xkb_context_set_log_level(context, XKB_LOG_LEVEL_CRITICAL);
  xkb_keymap* keymap = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                  XKB_KEYMAP_COMPILE_NO_FLAGS);
  xkb_context_unref(context);
  return keymap;
}

std::unique_ptr<LayoutKeymap> LayoutKeymap::FromText(const std::string& text, unsigned group) {
  xkb_keymap* keymap = CompileKeymapText(text);
  if (keymap != nullptr && group >= xkb_keymap_num_layouts(keymap)) {
    xkb_keymap_unref(keymap);
    keymap = nullptr;
  }
  return keymap != nullptr ? std::unique_ptr<LayoutKeymap>(new LayoutKeymap(keymap, group)) : nullptr;
}

LayoutKeymap::~LayoutKeymap() {
  xkb_keymap_unref(keymap_);
}

std::uint32_t LayoutKeymap::Keysym(std::uint16_t code, int level) const {
  const xkb_keysym_t* syms = nullptr;
  const int count = xkb_keymap_key_get_syms_by_level(keymap_, code + kEvdevOffset, group_,
                                                     static_cast<xkb_level_index_t>(level), &syms);
  return count > 0 ? syms[0] : 0;
}

int LayoutKeymap::Levels(std::uint16_t code) const {
  return static_cast<int>(xkb_keymap_num_levels_for_key(keymap_, code + kEvdevOffset, group_));
}

std::string KeysymLabel(std::uint32_t keysym) {
  if (keysym == 0) {
    return {};
  }
  char text[64] = {};
  const std::uint32_t character = xkb_keysym_to_utf32(keysym);
  if (character > 0x20 && character != 0x7F && xkb_keysym_to_utf8(keysym, text, sizeof text) > 0) {
    return text;
  }
  xkb_keysym_get_name(keysym, text, sizeof text);
  return text;
}

std::vector<std::pair<std::uint16_t, std::uint8_t>> LatinFamilyKeys(const LayoutKeymap& keymap) {
  const std::span<const std::uint16_t> keys = LayoutDependentKeys();
  const KeyboardLayout& us = UsKeyboardLayout();
  std::vector<std::pair<std::uint16_t, std::uint8_t>> assigned(keys.size());
  std::array<bool, 256> used{};
  int letters = 0;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    assigned[i].first = keys[i];
    std::uint8_t code = LetterOrDigitCode(keymap.Keysym(keys[i], 0));
    if (code >= 'A') {
      ++letters;
    } else if (code == 0) {
      code = LetterOrDigitCode(keymap.Keysym(keys[i], 1));
      code = code >= '0' && code <= '9' ? code : 0;
    }
    if (code != 0 && !used[code]) {
      assigned[i].second = code;
      used[code] = true;
    }
  }
  if (letters < kMinimumLatinLetters) {
    return {};
  }
  // The other keys: the code of the US key that types the same character, as a Windows layout of the
  // family places its punctuation (Dvorak's apostrophe key carries the US apostrophe's code), else their own
  // US code while no letter took it.
  std::unique_ptr<LayoutKeymap> usKeymap = LayoutKeymap::Compile(LayoutName{});
  for (auto& [key, code] : assigned) {
    if (code != 0) {
      continue;
    }
    const std::uint32_t keysym = keymap.Keysym(key, 0);
    std::uint8_t candidate = 0;
    if (usKeymap != nullptr && keysym != 0) {
      const auto same = std::find_if(keys.begin(), keys.end(),
                                     [&](std::uint16_t k) { return usKeymap->Keysym(k, 0) == keysym; });
      candidate = same != keys.end() ? us.VirtualKeyAt(*same) : 0;
    }
    if (candidate == 0 || used[candidate] || IsVirtualKeyLetterOrDigit(candidate)) {
      candidate = us.VirtualKeyAt(key);
    }
    if (candidate != 0 && !used[candidate] && !IsVirtualKeyLetterOrDigit(candidate)) {
      code = candidate;
      used[candidate] = true;
    }
  }
  return assigned;
}

}  // namespace srd
