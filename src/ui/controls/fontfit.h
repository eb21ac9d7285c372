#pragma once
// Sizes that follow the user's font. A window keeps its designed size where
// its texts fit in that size, and grows to what its layout needs where they
// do not (a large desktop font), so no caption or control is cut off.

#include <QSize>

class QWidget;

namespace qv {

// The designed size, grown to the widget's layout minimum (word-wrapped
// labels at their height for the width included).
QSize FittedSize(QWidget* widget, const QSize& designed);

// Fixes a window with a dialog border (not sizable) at FittedSize.
void FixFittedSize(QWidget* widget, const QSize& designed);

}  // namespace qv
