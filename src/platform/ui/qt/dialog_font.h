#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include "platform/ui/ui_resources.h"

namespace srd {

// Families tried, in order, for a dialog font that this machine does not have. The handheld's Japanese
// interface font has no counterpart on Linux; these Gothic faces cover the same characters.
inline constexpr const char* kJapaneseGothicFallbacks[] = {
    "IPAPGothic", "IPAGothic",    "Noto Sans CJK JP",    "Noto Sans JP",
    "VL PGothic", "TakaoPGothic", "Droid Sans Japanese",
};

// Maps the dialog font names of the templates to installed Japanese Gothic faces. Call before any widget
// exists; calling it again does nothing.
void InstallDialogFontSubstitutions();

// The font a dialog template asks for ("MS UI Gothic", 9 pt), as this machine renders it.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Dialog base units measured from a font, the way dialog units are defined: the average width of the Latin
// letters and the font's height.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};
DialogBaseUnits MeasureDialogBaseUnits(const QFont& font);

// Dialog units to pixels: horizontal values in quarters of base x, vertical values in eighths of base y, each
// rounded to the nearest pixel.
int DialogUnitsToPixelsX(int dialogUnits, const DialogBaseUnits& base);
int DialogUnitsToPixelsY(int dialogUnits, const DialogBaseUnits& base);
QRect DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogBaseUnits& base);

}  // namespace srd
