#include "components/widgets/screenmodeimage.h"

#include <QPainter>

namespace qv {

TScreenModeImage::TScreenModeImage(QWidget* parent) : QWidget(parent), TModeLayout(this) {}

void TScreenModeImage::SetTransparent(bool value) {
  FTransparent = value;
  update();
}

void TScreenModeImage::SetPic(int mode, const QPixmap& picture) {
  if (mode < 0 || mode >= kScreenModes) return;
  FPics[mode] = picture;
  update();
}

const QPixmap* TScreenModeImage::GetBestImage(int& widthOut, int& heightOut) const {
  widthOut = ModeScreenWidth();
  heightOut = ModeScreenHeight();
  const int mode = ScreenModeIndex();
  if (!FPics[mode].isNull()) return &FPics[mode];
  for (int i = kScreenModes - 1; i >= 0; --i) {
    if (!FPics[i].isNull()) {
      widthOut = ModeWidths[i];
      heightOut = ModeHeights[i];
      return &FPics[i];
    }
  }
  return nullptr;
}

const QPixmap* TScreenModeImage::AdjustSize() {
  int w, h;
  const QPixmap* g = GetBestImage(w, h);
  if (g && !Stretch && w > 0 && h > 0)
    resize(g->width() * ModeScreenWidth() / w, g->height() * ModeScreenHeight() / h);
  return g;
}

void TScreenModeImage::PaintSMImage(QPainter& painter) {
  if (!isVisible()) return;
  const QPixmap* g = AdjustSize();
  if (!g) return;
  if (FTransparent) {
    QPixmap masked = *g;
    const QImage image = g->toImage();
    masked.setMask(
        g->createMaskFromColor(QColor(image.pixel(0, image.height() - 1)), Qt::MaskInColor));
    painter.drawPixmap(rect(), masked);
  } else {
    painter.drawPixmap(rect(), *g);
  }
  if (OnPaint) OnPaint(this, painter);
}

void TScreenModeImage::ChangeScale() {
  TModeLayout::ChangeScale();
  AdjustSize();
}

void TScreenModeImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintSMImage(painter);
}

void TScreenModeImage::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  RequestAlign();
}

void TScreenModeImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RequestAlign();
}

}  // namespace qv
