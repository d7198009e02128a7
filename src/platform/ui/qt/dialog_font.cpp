#include "platform/ui/qt/dialog_font.h"

#include <QFontMetrics>
#include <QStringList>

namespace srd {

namespace {

// Rounds numerator / denominator half away from zero, for any sign.
int RoundedDivide(long long numerator, long long denominator) {
  const long long half = denominator / 2;
  const long long rounded =
      numerator >= 0 ? (numerator + half) / denominator : (numerator - half) / denominator;
  return static_cast<int>(rounded);
}

}  // namespace

void InstallDialogFontSubstitutions() {
  static bool installed = false;
  if (installed) {
    return;
  }
  installed = true;
  QStringList fallbacks;
  for (const char* family : kJapaneseGothicFallbacks) {
    fallbacks << QString::fromLatin1(family);
  }
  for (const char* name : {"MS UI Gothic", "MS Shell Dlg", "MS Shell Dlg 2", "MS PGothic", "MS Gothic"}) {
    QFont::insertSubstitutions(QString::fromLatin1(name), fallbacks);
  }
}

QFont DialogFont(const DialogTemplate& dialogTemplate) {
  QFont font;
  if (!dialogTemplate.fontName.empty()) {
    font.setFamily(QString::fromStdU16String(dialogTemplate.fontName));
  }
  if (dialogTemplate.pointSize > 0) {
    font.setPointSize(dialogTemplate.pointSize);
  }
  return font;
}

DialogBaseUnits MeasureDialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int latinWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogBaseUnits base;
  base.x = RoundedDivide(latinWidth, 52);
  base.y = metrics.height();
  if (base.x <= 0) {
    base.x = 1;
  }
  if (base.y <= 0) {
    base.y = 1;
  }
  return base;
}

int DialogUnitsToPixelsX(int dialogUnits, const DialogBaseUnits& base) {
  return RoundedDivide(static_cast<long long>(dialogUnits) * base.x, 4);
}

int DialogUnitsToPixelsY(int dialogUnits, const DialogBaseUnits& base) {
  return RoundedDivide(static_cast<long long>(dialogUnits) * base.y, 8);
}

QRect DialogUnitsToPixels(int x, int y, int cx, int cy, const DialogBaseUnits& base) {
  return QRect(DialogUnitsToPixelsX(x, base), DialogUnitsToPixelsY(y, base), DialogUnitsToPixelsX(cx, base),
               DialogUnitsToPixelsY(cy, base));
}

}  // namespace srd
