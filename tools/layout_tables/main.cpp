// Writes the keyboard-layout tables of the documentation from the tables the program uses, or checks that a
// file holds exactly what would be written:
//   layout_tables               the markdown, on standard output
//   layout_tables --check FILE  exit status 0 when FILE is current, 1 (with a line saying so) when not

#include <linux/input-event-codes.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/layout/keyboard_layout.h"
#include "platform/layout/layout_keymap.h"

namespace {

struct CodeName {
  std::uint8_t virtualKey;
  const char* name;
};
constexpr CodeName kCodeNames[] = {
    {0xBA, "VK_OEM_1"},        {0xBB, "VK_OEM_PLUS"},     {0xBC, "VK_OEM_COMMA"},
    {0xBD, "VK_OEM_MINUS"},    {0xBE, "VK_OEM_PERIOD"},   {0xBF, "VK_OEM_2"},
    {0xC0, "VK_OEM_3"},        {0xC1, "VK_ABNT_C1"},      {0xDB, "VK_OEM_4"},
    {0xDC, "VK_OEM_5"},        {0xDD, "VK_OEM_6"},        {0xDE, "VK_OEM_7"},
    {0xDF, "VK_OEM_8"},        {0xE2, "VK_OEM_102"},      {0xF0, "VK_DBE_ALPHANUMERIC"},
    {0xF2, "VK_DBE_HIRAGANA"}, {0xF3, "VK_DBE_SBCSCHAR"},
};

std::string KeyNameOf(std::uint16_t code) {
  const char* name = srd::XkbKeyName(code);
  return name != nullptr ? name : std::to_string(code);
}

std::string CodeNameOf(std::uint8_t virtualKey) {
  if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z')) {
    return std::string("VK_") + static_cast<char>(virtualKey);
  }
  for (const CodeName& code : kCodeNames) {
    if (code.virtualKey == virtualKey) {
      return code.name;
    }
  }
  return "";
}

std::string Cell(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '|' || c == '\\' || c == '`' || c == '*' || c == '_') {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  return out.empty() ? " " : out;
}

void WriteLayout(std::ostream& out, std::string_view layoutName) {
  srd::LayoutName name;
  name.layout = std::string(layoutName);
  const srd::KeyboardLayout layout = srd::MakeKeyboardLayout(name);
  const std::unique_ptr<srd::LayoutKeymap> keymap = srd::LayoutKeymap::Compile(name);
  out << "## " << layoutName << "\n\nFrom " << layout.Source()
      << ". The characters are what the receiver's XKB layout `" << layoutName
      << "` types on that key (plain, Shift, AltGr).\n\n";
  out << "| Code | Name | Key (XKB) | Linux key | Plain | Shift | AltGr |\n|---|---|---|---|---|---|---|\n";
  for (std::uint16_t code : srd::LayoutDependentKeys()) {
    const std::uint8_t virtualKey = layout.VirtualKeyAt(code);
    if (virtualKey == 0) {
      continue;
    }
    std::string characters;
    bool any = false;
    for (int level = 0; level < 3; ++level) {
      const std::uint32_t keysym =
          keymap != nullptr && level < keymap->Levels(code) ? keymap->Keysym(code, level) : 0;
      any = any || keysym != 0;
      characters += " | " + Cell(srd::KeysymLabel(keysym));
    }
    if (!any) {
      continue;  // a key this layout's keyboards do not have (the Japanese Ro and Yen keys elsewhere)
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", virtualKey);
    out << "| " << hex << " | " << CodeNameOf(virtualKey) << " | " << KeyNameOf(code) << " | " << code
        << characters << " |\n";
  }
  out << "\n";
}

std::string Document() {
  std::ostringstream out;
  out << "# Keyboard layouts: which key each virtual-key code types\n\n"
         "<!-- Written by tools/layout_tables from the program's own tables; do not edit by hand. -->\n\n"
         "strokerelayd injects, for each virtual-key code of the main block, the key that the receiving "
         "machine's keyboard layout assigns to it, as the Windows layout of the same name does. Codes "
         "outside "
         "the main block (function keys, cursor keys, keypad, modifiers) are the same on every layout. A "
         "code a "
         "layout has no key for types nothing.\n\n"
         "Layouts not listed here: when the layout writes Latin letters, each letter and digit code goes to "
         "the key that gives that letter or digit in the receiver's keymap (QWERTZ, AZERTY, Dvorak, ... each "
         "as its Windows counterpart places them), and the other keys keep the code of the US key that types "
         "the same character, or their US code. Layouts without Latin letters (Russian, Greek, ...) keep the "
         "US positions.\n\n";
  for (std::string_view name : srd::NamedLayouts()) {
    WriteLayout(out, name);
  }
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string document = Document();
  if (argc == 3 && std::string_view(argv[1]) == "--check") {
    std::ifstream file(argv[2]);
    const std::string current((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (current != document) {
      std::fprintf(stderr, "%s is not what tools/layout_tables writes: run it again and commit the result\n",
                   argv[2]);
      return 1;
    }
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "usage: layout_tables [--check FILE]\n");
    return 2;
  }
  std::fwrite(document.data(), 1, document.size(), stdout);
  return 0;
}
