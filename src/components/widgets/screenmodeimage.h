#pragma once

#include <functional>

#include <QPixmap>
#include <QWidget>

#include "components/widgets/modescale.h"

namespace qv {

// A paint box holding one picture per screen mode: it paints the current
// mode's picture, else the one of the highest mode present, and (unless
// Stretch) sizes itself to that picture scaled from its mode to the current
// one.
class TScreenModeImage : public QWidget, public TModeLayout {
  Q_OBJECT
 public:
  explicit TScreenModeImage(QWidget* parent = nullptr);

  bool Stretch = false;
  bool Transparent() const { return FTransparent; }
  // The colour of the bottom-left pixel shows through; stores and repaints.
  void SetTransparent(bool value);

  const QPixmap& Pic(int mode) const { return FPics[mode]; }
  void SetPic(int mode, const QPixmap& picture);

  // The picture to paint and the screen size it was made for: the current
  // mode's picture with ModeScreenWidth/Height, else the first from mode 4
  // down with that mode's table size; null when there is none.
  const QPixmap* GetBestImage(int& widthOut, int& heightOut) const;
  // The best picture; unless Stretch the control takes its size scaled to the
  // current mode (integer arithmetic, truncating).
  const QPixmap* AdjustSize();
  const QPixmap* GetActiveGraphic() { return AdjustSize(); }
  const QPixmap& GetActivePic() const { return FPics[ScreenModeIndex()]; }
  void SetActivePic(const QPixmap& picture) { SetPic(ScreenModeIndex(), picture); }
  void PaintSMImage(QPainter& painter);

  void ChangeScale() override;

  // The paint box's own paint event, after the picture is drawn.
  std::function<void(TScreenModeImage* sender, QPainter& painter)> OnPaint;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPixmap FPics[kScreenModes];
  bool FTransparent = false;
};

}  // namespace qv
