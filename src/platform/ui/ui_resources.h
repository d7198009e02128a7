#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The program's resources as plain data: dialog templates, menus, icons. A ResourceModule stands for the
// module instance: the layer finds templates, menus and icons in it by number.

namespace srd {

// Resource types, as numbered by the resource format.
inline constexpr int RT_ICON_GROUP = 14;
inline constexpr int RT_MENU = 4;
inline constexpr int RT_DIALOG = 5;
inline constexpr int RT_ACCELERATOR = 9;

// The "no id" value of controls that are never addressed.
inline constexpr int ID_NONE = 65535;

// One control of a dialog template; position and size in dialog units.
struct ControlTemplate {
  int id = ID_NONE;
  std::u16string className;  // u"Button", u"Edit", u"Static"
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  std::u16string text;  // the initial text; empty for an edit box
  int iconId = 0;       // icon controls (Static with SS_ICON): the icon resource shown; 0 otherwise
};

// A dialog template; position and size in dialog units, the font in points.
struct DialogTemplate {
  int id = 0;
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  std::u16string caption;
  std::u16string fontName;
  int pointSize = 0;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  std::vector<ControlTemplate> controls;
};

// One entry of a menu: a command (id, text) or a pop-up (text, items).
struct MenuItem {
  int id = 0;  // the command id; 0 for a pop-up
  std::u16string text;
  std::vector<MenuItem> popup;  // non-empty: this entry opens a pop-up with these items
};

struct MenuResource {
  int id = 0;
  std::vector<MenuItem> items;  // the bar's entries, in order
};

// One picture of an icon: width x height pixels, each a 4-bit index into a 16-colour palette (0xRRGGBB),
// row by row from the top, one index per byte. Pixels whose mask bit is set are transparent.
struct IconImage {
  int width = 0;
  int height = 0;
  std::array<std::uint32_t, 16> palette{};
  std::vector<std::uint8_t> pixels;  // width * height indices
  std::vector<std::uint8_t> mask;    // width * height: 1 transparent, 0 opaque (empty: all opaque)
};

struct IconResource {
  int id = 0;
  std::vector<IconImage> images;  // largest first
};

// The module instance: every resource of the program.
struct ResourceModule {
  std::vector<DialogTemplate> dialogs;
  std::vector<MenuResource> menus;
  std::vector<IconResource> icons;
  // Accelerator tables: the program has none; the layer's lookup therefore always finds nothing.

  const DialogTemplate* FindDialog(int id) const {
    for (const auto& d : dialogs) {
      if (d.id == id) {
        return &d;
      }
    }
    return nullptr;
  }
  const MenuResource* FindMenu(int id) const {
    for (const auto& m : menus) {
      if (m.id == id) {
        return &m;
      }
    }
    return nullptr;
  }
  const IconResource* FindIcon(int id) const {
    for (const auto& i : icons) {
      if (i.id == id) {
        return &i;
      }
    }
    return nullptr;
  }
};

using Instance = const ResourceModule*;

}  // namespace srd
