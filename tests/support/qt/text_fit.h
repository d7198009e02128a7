#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

namespace srd::test {

// The visible labels' and buttons' texts of a window, in the order of its children.
QStringList ShownTexts(const QWidget* window);

// One line for each label or button of the window whose text does not fit inside it as drawn (wider than the
// widget, or more lines than its height holds), or that reaches outside the window; empty when all fit.
QStringList TextsThatDoNotFit(const QWidget* window);

// Pins the locale variables that choose the windows' language to `lang` (LANG), unsetting the others, so
// that a test sees the texts of one language whatever the environment it was started in.
void UseLanguageOf(const char* lang);

}  // namespace srd::test
