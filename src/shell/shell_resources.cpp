#include "shell/shell_resources.h"

#include <string_view>

#include "platform/ui/window_layer.h"
#include "shell/main_panel.h"
#include "shell/settings_dialog.h"

namespace srd {
namespace {

constexpr std::uint32_t LABEL = WS_CHILD | WS_VISIBLE | WS_GROUP;     // 0x50020000
constexpr std::uint32_t BUTTON = WS_CHILD | WS_VISIBLE | WS_TABSTOP;  // 0x50010000
constexpr std::uint32_t DEFAULT_BUTTON = BUTTON | BS_DEFPUSHBUTTON;   // 0x50010001
constexpr std::uint32_t ICON = WS_CHILD | WS_VISIBLE | SS_ICON;       // 0x50000003
constexpr std::uint32_t PLAIN_LABEL = LABEL | SS_NOPREFIX;            // 0x50020080
constexpr std::uint32_t PORT_EDIT =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;  // 0x50810080
constexpr std::uint32_t TEST_EDIT = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP |
                                    ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN;  // 0x50a11084

// The standard 16-colour palette.
constexpr std::array<std::uint32_t, 16> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// A keyboard with an arrow coming down into it. One hex digit per pixel (a palette index); '.' is
// transparent.
constexpr const char* kIcon32[] = {
    "................................", ".............CCCCCC.............",
    ".............CCCCCC.............", ".............CCCCCC.............",
    ".............CCCCCC.............", ".............CCCCCC.............",
    ".............CCCCCC.............", ".............CCCCCC.............",
    ".........CCCCCCCCCCCCCC.........", "..........CCCCCCCCCCCC..........",
    "...........CCCCCCCCCC...........", "............CCCCCCCC............",
    ".............CCCCCC.............", "..............CCCC..............",
    ".000000000000000000000000000000.", ".088888888888888888888888888880.",
    ".087778777877787778777877788880.", ".087778777877787778777877788880.",
    ".087778777877787778777877788880.", ".088888888888888888888888888880.",
    ".088777877787778777877787778880.", ".088777877787778777877787778880.",
    ".088777877787778777877787778880.", ".088888888888888888888888888880.",
    ".088877787778777877787778777880.", ".088877787778777877787778777880.",
    ".088877787778777877787778777880.", ".08888888FFFFFFFFFFFFFF88888880.",
    ".088888888888888888888888888880.", ".000000000000000000000000000000.",
    "................................", "................................",
};
constexpr const char* kIcon16[] = {
    "......CCCC......", "......CCCC......", "......CCCC......", "....CCCCCCCC....",
    ".....CCCCCC.....", "......CCCC......", ".......CC.......", "0000000000000000",
    "0888888888888880", "0878787878787880", "0888888888888880", "0887878787878780",
    "0888888888888880", "0888FFFFFFFF8880", "0888888888888880", "0000000000000000",
};

template <std::size_t N>
IconImage MakeImage(const char* const (&rows)[N]) {
  IconImage image;
  image.width = static_cast<int>(std::string_view(rows[0]).size());
  image.height = static_cast<int>(N);
  image.palette = kPalette;
  for (const char* row : rows) {
    for (const char c : std::string_view(row)) {
      const bool transparent = c == '.';
      int index = 0;
      if (c >= '0' && c <= '9') {
        index = c - '0';
      } else if (c >= 'A' && c <= 'F') {
        index = c - 'A' + 10;
      }
      image.pixels.push_back(static_cast<std::uint8_t>(index));
      image.mask.push_back(transparent ? 1 : 0);
    }
  }
  return image;
}

ControlTemplate Control(int id, const char16_t* className, std::uint32_t style, int x, int y, int cx, int cy,
                        const char16_t* text) {
  ControlTemplate c;
  c.id = id;
  c.className = className;
  c.style = style;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  c.text = text;
  return c;
}

DialogTemplate Dialog(int id, std::uint32_t style, std::uint32_t exStyle, int cx, int cy) {
  DialogTemplate d;
  d.id = id;
  d.style = style;
  d.exStyle = exStyle;
  d.fontName = u"MS UI Gothic";
  d.pointSize = 9;
  d.cx = cx;
  d.cy = cy;
  return d;
}

ResourceModule Build() {
  ResourceModule module;

  IconResource icon;
  icon.id = IDI_STROKERELAYD;
  icon.images.push_back(MakeImage(kIcon32));
  icon.images.push_back(MakeImage(kIcon16));
  module.icons.push_back(std::move(icon));

  MenuResource menu;
  menu.id = IDR_MAIN_MENU;
  MenuItem popup;
  popup.text = u"メニュー";
  popup.popup = {MenuItem{CMD_ABOUT, u"プログラムについて", {}}, MenuItem{CMD_SETTINGS, u"設定", {}},
                 MenuItem{CMD_EXIT, u"プログラム終了", {}}};
  menu.items.push_back(std::move(popup));
  menu.items.push_back(MenuItem{CMD_HIDE, u"隠す(常駐)", {}});
  module.menus.push_back(std::move(menu));

  DialogTemplate panel = Dialog(IDD_MAIN_PANEL, WS_CHILD | DS_SETFONT, 0, 137, 180);
  panel.controls = {
      Control(ID_NONE, u"Static", LABEL, 4, 4, 80, 8, u"strokerelayd v1.00"),
      Control(ID_NONE, u"Static", LABEL, 4, 112, 49, 8, u"入力テスト用"),
      Control(PANEL_TEST_EDIT, u"Edit", TEST_EDIT, 4, 124, 128, 52, u""),
      Control(PANEL_EXIT_BUTTON, u"Button", BUTTON, 92, 52, 42, 14, u"終了"),
      Control(
          ID_NONE, u"Static", LABEL, 4, 72, 128, 36,
          u"strokesender を使って WinPC/CE からリモートでキー入力することができます。Port番号をあわせておいて"
          u"ください。ActiveSync の場合 IP アドレスは 169.254.2.1 になります。HOST名でもOK"),
      Control(PANEL_SETTINGS_BUTTON, u"Button", BUTTON, 92, 12, 42, 14, u"設定"),
      Control(PANEL_HIDE_BUTTON, u"Button", BUTTON, 92, 32, 42, 14, u"隠す(常駐)"),
      Control(PANEL_HOST_LABEL, u"Static", LABEL, 8, 20, 82, 8, u"Static"),
      // The addresses under the name, two lines where they need them; the Port label below them.
      Control(PANEL_ADDRESS_LABEL, u"Static", PLAIN_LABEL, 8, 29, 82, 16, u""),
      Control(PANEL_PORT_LABEL, u"Static", LABEL, 8, 46, 80, 8, u"Static"),
      // Empty while the port is open.
      Control(PANEL_LISTENING_LABEL, u"Static", PLAIN_LABEL, 4, 55, 86, 16, u""),
  };
  module.dialogs.push_back(std::move(panel));

  DialogTemplate settings = Dialog(IDD_SETTINGS, WS_POPUP | DS_SETFONT, 0, 137, 180);
  settings.controls = {
      Control(IDOK, u"Button", DEFAULT_BUTTON, 12, 100, 50, 14, u"OK"),
      Control(IDCANCEL, u"Button", BUTTON, 72, 100, 50, 14, u"Cancel"),
      Control(ID_NONE, u"Static", LABEL, 4, 24, 14, 8, u"Port:"),
      Control(SETTINGS_PORT_EDIT, u"Edit", PORT_EDIT, 20, 20, 24, 14, u""),
      Control(SETTINGS_PORT_MESSAGE, u"Static", LABEL, 4, 36, 129, 10, u""),
      Control(
          ID_NONE, u"Static", LABEL, 8, 48, 124, 40,
          u"デフォルトの Port 番号は 8102 です。strokesender と Port 番号の設定をあわせておいてください。"),
  };
  module.dialogs.push_back(std::move(settings));

  DialogTemplate about = Dialog(IDD_ABOUT, WS_POPUP | DS_SETFONT, WS_EX_CAPTIONOKBTN, 139, 192);
  ControlTemplate picture = Control(ID_NONE, u"Static", ICON, 8, 4, 20, 20, u"");
  picture.iconId = IDI_STROKERELAYD;
  about.controls = {
      picture,
      Control(ID_NONE, u"Static", PLAIN_LABEL, 32, 4, 72, 8, u"strokerelayd"),
      Control(ID_NONE, u"Static", LABEL, 40, 16, 93, 8, u"strokerelayd contributors"),
      Control(ID_NONE, u"Static", LABEL, 8, 64, 120, 16, u"https://github.com/\nstrokerelayd/strokerelayd"),
      Control(ID_NONE, u"Static", LABEL, 8, 32, 124, 28,
              u"動作保障はありません。重要なデータは予め\nバックアップをおとりください。更新情報は下記\nサイ"
              u"トからどうぞ。"),
      // The OK that the handheld's caption carried, as a button of its own: Return and a click end the box.
      Control(IDOK, u"Button", DEFAULT_BUTTON, 44, 100, 50, 14, u"OK"),
  };
  module.dialogs.push_back(std::move(about));
  return module;
}

}  // namespace

Instance ShellResources() {
  static const ResourceModule module = Build();
  return &module;
}

}  // namespace srd
