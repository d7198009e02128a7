#pragma once

#include <cstdint>

// The window layer's numbers: message numbers, styles, show commands and the word helpers of its messages.

namespace srd {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Message numbers.
inline constexpr std::uint32_t WM_NULL = 0;
inline constexpr std::uint32_t WM_CREATE = 1;
inline constexpr std::uint32_t WM_DESTROY = 2;
inline constexpr std::uint32_t WM_MOVE = 3;
inline constexpr std::uint32_t WM_SIZE = 5;
inline constexpr std::uint32_t WM_ACTIVATE = 6;
inline constexpr std::uint32_t WM_SETFOCUS = 7;
inline constexpr std::uint32_t WM_ENABLE = 10;
inline constexpr std::uint32_t WM_SETTEXT = 12;
inline constexpr std::uint32_t WM_GETTEXT = 13;
inline constexpr std::uint32_t WM_PAINT = 15;
inline constexpr std::uint32_t WM_CLOSE = 16;
inline constexpr std::uint32_t WM_QUIT = 18;
inline constexpr std::uint32_t WM_SETTINGCHANGE = 26;
inline constexpr std::uint32_t WM_KEYDOWN = 0x100;
inline constexpr std::uint32_t WM_KEYUP = 0x101;
inline constexpr std::uint32_t WM_CHAR = 0x102;
inline constexpr std::uint32_t WM_INITDIALOG = 272;
inline constexpr std::uint32_t WM_COMMAND = 273;

// Activation states (low word of WM_ACTIVATE's wParam).
inline constexpr WParam WA_INACTIVE = 0;
inline constexpr WParam WA_ACTIVE = 1;

// Command ids of the standard dialog buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Notification code of a push button click (high word of WM_COMMAND's wParam).
inline constexpr std::uint32_t BN_CLICKED = 0;
// Notification code of an edit box whose text the user changed.
inline constexpr std::uint32_t EN_CHANGE = 0x300;

// Window styles.
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_DISABLED = 0x08000000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000;
inline constexpr std::uint32_t WS_GROUP = 0x00020000;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000;
inline constexpr std::uint32_t WS_EX_CAPTIONOKBTN = 0x80000000;
inline constexpr std::uint32_t DS_SETFONT = 0x40;
// Button styles.
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1;
// Static styles.
inline constexpr std::uint32_t SS_ICON = 0x3;
inline constexpr std::uint32_t SS_NOPREFIX = 0x80;
// Edit styles.
inline constexpr std::uint32_t ES_MULTILINE = 0x4;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x80;
inline constexpr std::uint32_t ES_WANTRETURN = 0x1000;
// Class styles.
inline constexpr std::uint32_t CS_VREDRAW = 0x1;
inline constexpr std::uint32_t CS_HREDRAW = 0x2;

// The use-the-default value for a window's position and size.
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// Show commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;
inline constexpr int SW_SHOWDEFAULT = 10;

// Stock objects.
inline constexpr int WHITE_BRUSH = 0;

inline constexpr std::uint16_t LoWord(WParam w) {
  return static_cast<std::uint16_t>(w & 0xFFFFu);
}
inline constexpr std::uint16_t HiWord(WParam w) {
  return static_cast<std::uint16_t>((w >> 16) & 0xFFFFu);
}
inline constexpr WParam MakeWParam(std::uint32_t low, std::uint32_t high) {
  return static_cast<WParam>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

}  // namespace srd
