#include "components/widgets/modescale.h"

#include <cstdlib>

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "model/jnmaths.h"
#include "model/prompter.h"
#include "ui/qtprompter.h"

namespace qv {

int ScreenModeOverride = -1;

std::function<QSize()> ScreenSizeSource = [] {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().size() : QSize(800, 600);
};

int RealScreenWidth() { return ScreenSizeSource().width(); }

int ModeScreenWidth() {
  if (ScreenModeOverride >= 0 && ScreenModeOverride < kScreenModes)
    return ModeWidths[ScreenModeOverride];
  return RealScreenWidth();
}

int ModeScreenHeight() {
  if (ScreenModeOverride >= 0 && ScreenModeOverride < kScreenModes)
    return ModeHeights[ScreenModeOverride];
  return ScreenSizeSource().height();
}

int ScreenModeIndex() {
  const int w = ModeScreenWidth();
  for (int i = 0; i < kScreenModes; ++i)
    if (ModeWidths[i] == w) return i;
  return kScreenModes - 1;
}

int32_t FontHeightOf(const QWidget* w) { return -QFontInfo(w->font()).pixelSize(); }

void SetFontHeight(QWidget* w, int32_t height) {
  QFont f = w->font();
  f.setPixelSize(std::max(1, std::abs(height)));
  w->setFont(f);
}

void InitModeGeometry(TModeGeometry& g) {
  g.Left = g.Top = g.Width = g.Height = g.FontHeight = kNotRecorded;
}

void RecordModeGeometry(TModeGeometry& g) {
  if (!g.Control) return;
  g.Left = g.Control->x();
  g.Top = g.Control->y();
  g.Width = g.Control->width();
  g.Height = g.Control->height();
  g.FontHeight = FontHeightOf(g.Control);
}

void ApplyModeGeometry(TModeGeometry& g, int prevScreenWidth) {
  QWidget* c = g.Control;
  if (!c) return;
  if (g.Left > kNotRecorded) {
    // Only what was recorded: an image records no size of its own.
    c->move(g.Left, g.Top > kNotRecorded ? g.Top : c->y());
    if (g.Width > kNotRecorded) c->resize(g.Width, c->height());
    if (g.Height > kNotRecorded) c->resize(c->width(), g.Height);
    if (g.FontHeight > kNotRecorded) SetFontHeight(c, g.FontHeight);
    return;
  }
  // A previous width that was never known gives no ratio to scale by.
  if (prevScreenWidth <= 0) return;
  const float s = static_cast<float>(RealScreenWidth());
  const float p = static_cast<float>(prevScreenWidth);
  auto scale = [&](int v) {
    return RoundHalfUp(static_cast<float>(s * static_cast<float>(v) / p));
  };
  SetFontHeight(c, scale(FontHeightOf(c)));
  c->resize(c->width(), scale(c->height()));
  c->resize(scale(c->width()), c->height());
  c->move(scale(c->x()), c->y());
  c->move(c->x(), scale(c->y()));
}

const char* const TModeLayout::RepositionMessage =
    "This value can only be changed by repositioning the control while running in the "
    "appropriate screen mode";
const char* const TModeLayout::ResizeMessage =
    "This value can only be changed by resizing the control while running in the appropriate "
    "screen mode";

TModeLayout::TModeLayout(QWidget* control) : FPrevScreenWidth(RealScreenWidth()) {
  for (auto& g : Geometry) {
    InitModeGeometry(g);
    g.Control = control;
  }
}

void TModeLayout::SetPrevScreenWidth(int value) {
  if (FLoading) FPrevScreenWidth = value;
}

void TModeLayout::SetValue(int mode, int32_t TModeGeometry::*field, int32_t value,
                           const char* message) {
  if (mode < 0 || mode >= kScreenModes) return;
  if (FLoading) {
    Geometry[mode].*field = value;
    return;
  }
  (Prompter ? *Prompter : AppPrompter()).ShowMessage(message);
}

void TModeLayout::SetLeftM(int mode, int32_t value) {
  SetValue(mode, &TModeGeometry::Left, value, RepositionMessage);
}
void TModeLayout::SetTopM(int mode, int32_t value) {
  SetValue(mode, &TModeGeometry::Top, value, RepositionMessage);
}
void TModeLayout::SetFontM(int mode, int32_t value) {
  SetValue(mode, &TModeGeometry::FontHeight, value, ResizeMessage);
}

void TModeLayout::ChangeScale() {
  ApplyModeGeometry(Geometry[ScreenModeIndex()], FPrevScreenWidth);
  FPrevScreenWidth = RealScreenWidth();
}

void TModeLayout::RequestAlign() {
  TModeGeometry& g = Geometry[ScreenModeIndex()];
  if (g.Control && Designing && !FLoading) RecordModeGeometry(g);
}

}  // namespace qv
