#include "components/widgets/smframedpanel.h"

namespace qv {

TSMFramedPanel::TSMFramedPanel(QWidget* parent) : TFramedPanel(parent), TModeLayout(this) {}

void TSMFramedPanel::SetWidthM(int mode, int32_t value) {
  SetValue(mode, &TModeGeometry::Width, value, ResizeMessage);
}

void TSMFramedPanel::SetHeightM(int mode, int32_t value) {
  SetValue(mode, &TModeGeometry::Height, value, ResizeMessage);
}

void TSMFramedPanel::moveEvent(QMoveEvent* event) {
  TFramedPanel::moveEvent(event);
  RequestAlign();
}

void TSMFramedPanel::resizeEvent(QResizeEvent* event) {
  TFramedPanel::resizeEvent(event);
  RequestAlign();
}

}  // namespace qv
