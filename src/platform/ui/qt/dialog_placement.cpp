#include "platform/ui/qt/dialog_placement.h"

#include <QRect>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/ui/qt/dialog_font.h"

namespace srd {

namespace {

// Space under the button row, in dialog units: as much as the handheld's dialogs keep to their edges.
constexpr int kFootMargin = 8;

bool IsPushButton(const Window* control) {
  return control->className == u"Button" && (control->style & 0x0F) <= BS_DEFPUSHBUTTON;
}

// The push buttons that lie lowest in the template, when every other control lies wholly above them.
std::vector<Window*> BottomButtonRow(const Window* dialog) {
  int rowTop = INT_MIN;
  for (Window* child : dialog->children) {
    if (child->controlTemplate != nullptr && IsPushButton(child)) {
      rowTop = std::max(rowTop, child->controlTemplate->y);
    }
  }
  std::vector<Window*> row;
  for (Window* child : dialog->children) {
    const ControlTemplate* t = child->controlTemplate;
    if (t == nullptr) {
      continue;
    }
    if (IsPushButton(child) && t->y == rowTop) {
      row.push_back(child);
    } else if (t->y + t->cy > rowTop) {
      return {};
    }
  }
  return row;
}

void MoveButtonRowToFoot(QtWindowData* data, int height) {
  const std::vector<Window*> row = BottomButtonRow(data->window);
  int rowBottom = 0;
  for (Window* button : row) {
    if (QtWindowData* b = DataOf(button); b != nullptr && b->widget != nullptr) {
      rowBottom = std::max(rowBottom, b->widget->geometry().bottom() + 1);
    }
  }
  const int shift = height - DialogUnitsToPixelsY(kFootMargin, data->base) - rowBottom;
  if (row.empty() || shift <= 0) {
    return;
  }
  for (Window* button : row) {
    if (QtWindowData* b = DataOf(button); b != nullptr && b->widget != nullptr) {
      b->widget->move(b->widget->x(), b->widget->y() + shift);
    }
  }
}

}  // namespace

void CoverOwner(QtWindowData* data) {
  QWidget* dialog = data->widget;
  if (dialog == nullptr || !dialog->isWindow() || data->window == nullptr) {
    return;
  }
  QtWindowData* ownerData = DataOf(data->window->owner);
  QWidget* owner =
      ownerData != nullptr && ownerData->widget != nullptr ? ownerData->widget->window() : nullptr;
  if (owner == nullptr) {
    return;
  }
  // Both are windows of the same kind under the same window manager: the same client size and the same
  // frame position give the same outline.
  const QRect content = dialog->childrenRect();
  dialog->resize(owner->size().expandedTo(QSize(content.right() + 1, content.bottom() + 1)));
  dialog->move(owner->pos());
  MoveButtonRowToFoot(data, dialog->height());
}

}  // namespace srd
