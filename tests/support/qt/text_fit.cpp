#include "support/qt/text_fit.h"

#include <stdlib.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace srd::test {

namespace {

template <typename Each>
void ForEachText(const QWidget* window, Each each) {
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window)) {
      continue;
    }
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->text().isEmpty()) {
      each(widget, label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      each(widget, button->text());
    }
  }
}

// How much of the widget's width and height its text needs.
QSize Needed(const QWidget* widget, const QString& text) {
  const QFontMetrics metrics(widget->font());
  if (auto* label = qobject_cast<const QLabel*>(widget)) {
    const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
    const QRect inside = label->contentsRect();
    return metrics.boundingRect(QRect(0, 0, inside.width(), 100000), flags | Qt::AlignLeft, text).size() +
           (label->size() - inside.size());
  }
  // A push button draws its text inside the bevel's margin on either side.
  const int margin = widget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, widget);
  return QSize(metrics.horizontalAdvance(text) + 2 * margin, metrics.height());
}

}  // namespace

QStringList ShownTexts(const QWidget* window) {
  QStringList texts;
  ForEachText(window, [&texts](const QWidget*, const QString& text) { texts << text; });
  return texts;
}

QStringList TextsThatDoNotFit(const QWidget* window) {
  QStringList faults;
  ForEachText(window, [&](const QWidget* widget, const QString& text) {
    const QSize needed = Needed(widget, text);
    const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
    if (needed.width() > widget->width() || needed.height() > widget->height()) {
      faults << QStringLiteral("\"%1\" needs %2 x %3 pixels in %4 x %5")
                    .arg(text)
                    .arg(needed.width())
                    .arg(needed.height())
                    .arg(widget->width())
                    .arg(widget->height());
    } else if (!window->rect().contains(inWindow)) {
      faults << QStringLiteral("\"%1\" lies outside the window").arg(text);
    }
  });
  return faults;
}

void UseLanguageOf(const char* lang) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) {
    unsetenv(name);
  }
  setenv("LANG", lang, 1);
}

}  // namespace srd::test
