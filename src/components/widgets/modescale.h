#pragma once

// Layouts kept per screen mode. A screen mode is a screen width of the table
// below; the screen's logical width stands for the mode, since modes are not
// switched here. A control keeps its position, size and font height for each
// mode; scaling (ChangeScale) is an explicit call after the control's values
// are loaded and whenever the screen's geometry changes.

#include <cstdint>
#include <functional>

#include <QSize>

class QWidget;
class TPrompter;

namespace qv {

inline constexpr int kScreenModes = 5;
inline constexpr int ModeWidths[kScreenModes] = {640, 800, 1024, 1280, 1600};
inline constexpr int ModeHeights[kScreenModes] = {480, 600, 768, 1024, 1200};
// A geometry value that was never recorded.
inline constexpr int32_t kNotRecorded = -100000;

// -1: use the real screen; 0-4: the helpers assume that mode.
extern int ScreenModeOverride;
// Where the real screen's size comes from: the primary screen's logical size
// (800 x 600 without a screen). Tests put a fixed size in its place.
extern std::function<QSize()> ScreenSizeSource;

int RealScreenWidth();
int ModeScreenWidth();
int ModeScreenHeight();
// The first mode whose width is ModeScreenWidth(), else 4 (the largest).
int ScreenModeIndex();

struct TModeGeometry {
  int32_t Left = kNotRecorded;
  int32_t Top = kNotRecorded;
  int32_t Width = kNotRecorded;
  int32_t Height = kNotRecorded;
  int32_t FontHeight = kNotRecorded;
  QWidget* Control = nullptr;
};

// A widget's font height as a negative pixel count (the character height),
// and the setter for one.
int32_t FontHeightOf(const QWidget* w);
void SetFontHeight(QWidget* w, int32_t height);

void InitModeGeometry(TModeGeometry& g);
// The control's position in its parent (a scroll area's contents keep their
// own coordinates, so no scroll offset enters), size and font height.
void RecordModeGeometry(TModeGeometry& g);
// A recorded geometry is applied value by value: only values that were
// recorded. Otherwise the control's font height, height, width, left and top
// are scaled by real screen width / prevScreenWidth, rounding halves down;
// a previous width of 0 or less scales nothing.
void ApplyModeGeometry(TModeGeometry& g, int prevScreenWidth);

// Named accessors of one value for each mode: Left640() and SetLeft640(v)
// up to Left1600(), from the indexed getter and setter.
#define QV_MODE_VALUE(Name, Mode, Getter, Setter) \
  int32_t Name() const { return Getter(Mode); }   \
  void Set##Name(int32_t v) { Setter(Mode, v); }
#define QV_MODE_VALUES(Name, Getter, Setter)   \
  QV_MODE_VALUE(Name##640, 0, Getter, Setter)  \
  QV_MODE_VALUE(Name##800, 1, Getter, Setter)  \
  QV_MODE_VALUE(Name##1024, 2, Getter, Setter) \
  QV_MODE_VALUE(Name##1280, 3, Getter, Setter) \
  QV_MODE_VALUE(Name##1600, 4, Getter, Setter)

// The per-mode state both mode-scaled controls share: one geometry a mode,
// the screen width they were last scaled for, and the rule that the stored
// values change only while the control is being loaded.
class TModeLayout {
 public:
  explicit TModeLayout(QWidget* control);
  virtual ~TModeLayout() = default;

  TModeGeometry Geometry[kScreenModes];
  // Where the "only while loading" messages go; null: the program's prompter.
  TPrompter* Prompter = nullptr;
  // Laid out by hand: moves and resizes are recorded for the current mode.
  bool Designing = false;

  void BeginLoad() { FLoading = true; }
  void EndLoad() { FLoading = false; }
  bool Loading() const { return FLoading; }

  int PrevScreenWidth() const { return FPrevScreenWidth; }
  // Stores only while loading; silently ignored otherwise.
  void SetPrevScreenWidth(int value);
  // Store only while loading; otherwise show why not and keep the value.
  void SetLeftM(int mode, int32_t value);
  void SetTopM(int mode, int32_t value);
  void SetFontM(int mode, int32_t value);
  int32_t LeftM(int mode) const { return Geometry[mode].Left; }
  int32_t TopM(int mode) const { return Geometry[mode].Top; }
  int32_t FontM(int mode) const { return Geometry[mode].FontHeight; }
  QV_MODE_VALUES(Left, LeftM, SetLeftM)
  QV_MODE_VALUES(Top, TopM, SetTopM)
  QV_MODE_VALUES(Font, FontM, SetFontM)

  // Applies the current mode's geometry for the screen width of the last
  // scaling, then notes the real width.
  virtual void ChangeScale();

  static const char* const RepositionMessage;
  static const char* const ResizeMessage;

 protected:
  // The control moved or changed size: recorded while designing.
  void RequestAlign();
  void SetValue(int mode, int32_t TModeGeometry::*field, int32_t value, const char* message);

 private:
  int FPrevScreenWidth;
  bool FLoading = false;
};

}  // namespace qv
