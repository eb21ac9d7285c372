#pragma once

#include "components/widgets/modescale.h"
#include "ui/controls/framedpanel.h"

namespace qv {

// A framed panel that keeps its position, size and font height for each
// screen mode, and applies the current mode's (or scales by the screen
// widths where none was recorded) when ChangeScale is called.
class TSMFramedPanel : public TFramedPanel, public TModeLayout {
  Q_OBJECT
 public:
  explicit TSMFramedPanel(QWidget* parent = nullptr);

  // Store only while loading; otherwise show why not and keep the value.
  void SetWidthM(int mode, int32_t value);
  void SetHeightM(int mode, int32_t value);
  int32_t WidthM(int mode) const { return Geometry[mode].Width; }
  int32_t HeightM(int mode) const { return Geometry[mode].Height; }
  QV_MODE_VALUES(Width, WidthM, SetWidthM)
  QV_MODE_VALUES(Height, HeightM, SetHeightM)

 protected:
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

}  // namespace qv
