#include "ui/controls/fontfit.h"

#include <algorithm>

#include <QLayout>
#include <QWidget>

namespace qv {

QSize FittedSize(QWidget* widget, const QSize& designed) {
  QLayout* layout = widget->layout();
  if (layout) layout->activate();
  QSize size = designed.expandedTo(widget->minimumSizeHint());
  // A wrapped label's minimum is its height at its narrowest; at the width
  // the window takes it needs fewer lines.
  if (layout && layout->hasHeightForWidth())
    size.setHeight(std::max(designed.height(), layout->totalMinimumHeightForWidth(size.width())));
  return size;
}

void FixFittedSize(QWidget* widget, const QSize& designed) {
  widget->setFixedSize(FittedSize(widget, designed));
}

}  // namespace qv
