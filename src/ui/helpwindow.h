#pragma once
// Context help: a window of the program's own showing one HTML topic per
// help context from the program folder's "Help" folder ("Help/67.htm" for
// context 67). A context without a topic shows an empty page.

#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>
#include <QPointer>

class QEvent;
class QObject;
class QTextBrowser;
class QWidget;

namespace qv {

// Where the help window sits: the old help system's placement record.
// Positions and sizes are in 1/1024 of the screen; StructSize is 28 once
// filled and 0 while never filled.
struct THelpWinInfo {
  std::int32_t StructSize = 0;
  std::int32_t X = 0;
  std::int32_t Y = 0;
  std::int32_t DX = 0;
  std::int32_t DY = 0;
  std::int32_t Show = 0;
  char Member[2] = {0, 0};
};
inline constexpr std::int32_t kSwShow = 5;

// The one record of the process.
THelpWinInfo& HelpWinInfo();

// The record for a window right of a control whose right edge is at
// `right` (screen pixels), level with a form at `top` and as tall as the
// form's `height`, on a screen of the given size.
THelpWinInfo HelpPlacement(int right, int top, int height, int screenWidth, int screenHeight);

// The topic file of a context ("" without a program folder).
std::string HelpTopicFile(int context);

class THelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* parent = nullptr);
  // Shows the topic, bringing the window up.
  void ShowContext(int context);
  // Places the window by the record, clamped to the screen.
  void Place(const THelpWinInfo& info);

  int Context = 0;
  QTextBrowser* Browser;
};

// The program's help window, made on first use.
THelpWindow& AppHelpWindow();
void FreeAppHelpWindow();

// Shows a topic; then places the window by the record when it was filled.
// Tests may take the requests instead (HelpRequests set): the window is
// then not used.
void ShowHelpContext(int context);
// Fills the record for the control (the help window to its right, level
// with its form) and shows the topic there.
void PlaceHelpWindow(QWidget* control, int context);

extern std::function<void(int context)> HelpRequests;

// The control a mouse press names as the subject of context help, for a
// window whose event filter sees the events of all its controls. A press a
// control ignores travels on to its parents, each of which sees it again
// with the same time stamp: only the first control to see it counts. A
// press in a pop-up menu picks a command there and names no control.
class THelpPressWatch {
 public:
  // The pressed control, once per press; null for every other event.
  QWidget* Pressed(QObject* o, QEvent* e);

 private:
  QPointer<QWidget> Last;
  quint64 LastStamp = 0;
};

}  // namespace qv
