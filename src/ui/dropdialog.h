#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <QColor>
#include <QDialog>

#include "engine/droppedurls.h"
#include "model/prompter.h"
#include "model/settings.h"
#include "platform/wavesound.h"
#include "ui/helpwindow.h"

class QCheckBox;
class QMenu;
class QTimer;

namespace qv {

class TFramedPanel;
class TUOTextTarget;

// Zone colours.
inline const QColor kZoneRest(0x80, 0x80, 0x80);
inline const QColor kZoneOver(0xFF, 0xFF, 0x00);
inline const QColor kZoneDropped(0x00, 0x80, 0x00);

// The small always-on-top window with three drop zones. It is the
// application's main window: the program ends when it closes with Closing
// set; the close box only hides it and shows the main window.
class TDropDlg : public QDialog {
  Q_OBJECT
 public:
  // soundFile: the drop sound ("" for none); player: how it plays (ALSA
  // unless given).
  explicit TDropDlg(QWidget* parent = nullptr, const std::string& soundFile = DropSoundFile(),
                    std::unique_ptr<TSoundPlayer> player = nullptr);
  ~TDropDlg() override;

  // "Drop.wav" in the program folder, else in the installed data folder;
  // "" when neither has it.
  static std::string DropSoundFile();

  bool Closing = false;
  QWidget* HelpControl = nullptr;
  int32_t ColourCountdown = 0;

  // Where drops go (the main window) and where messages go.
  TDroppedURLSink* Sink = nullptr;
  TPrompter* Prompter = nullptr;

  // Shows the window; placed in the settings' corner unless it was placed
  // before and "keep position" is on.
  void ShowDropWindow();
  void ShowDropWindow(const TSettings& settings);
  void DropFeedback(TDropZone zone);
  void PlayDropSound();
  void Timer1Timer();
  bool SoundLoaded() const;

  // The first showing at start-up: with "/S" first on the command line the
  // schedule starts. Runs once; later calls do nothing.
  void FirstShow();
  void FormCloseQuery(bool& canClose);
  void ShowMainChkMouseUp();
  // A drop on a zone, as its target reports it.
  void ZoneDrop(TDropZone zone, const TZoneDrop& drop);
  void ZoneDragEnter(TDropZone zone);
  void ZoneDragLeave(TDropZone zone);

  // What the window does to the others (the program binds them; tests
  // record them).
  std::function<void()> OnScheduleStart;
  std::function<void(bool show)> OnShowMain;
  std::function<void()> OnBringToFront;
  // True when the schedule window is visible: it then keeps the Startup
  // shortcut and closes with the main window, and the program ends.
  std::function<bool()> OnScheduleClose;

  TFramedPanel* SingURLs;
  TFramedPanel* PageURLs;
  TFramedPanel* Images;
  QCheckBox* ShowMainChk;
  QTimer* Timer1;
  QMenu* HelpPopup;
  TUOTextTarget* SingURLsDrop;
  TUOTextTarget* PageURLsDrop;
  TUOTextTarget* ImagesDrop;

  TFramedPanel* Zone(TDropZone zone) const;
  static void SetZoneColour(TFramedPanel* zone, const QColor& colour);
  static QColor ZoneColour(const TFramedPanel* zone);

 protected:
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void BindTarget(TUOTextTarget* target, TDropZone zone);
  TPrompter& Prompts() const;
  THelpPressWatch HelpPress;
  // Moves the window's frame into its corner (0 top left, 1 top right, 2
  // bottom left, 3 bottom right).
  void PlaceInCorner(int corner);
  // Makes a placement made before the window was framed again once the
  // frame is known: at a painting or a move, or, since the window manager
  // may tell the frame's size without either, at a check each tenth of a
  // second for two seconds.
  void RedoCornerWhenFramed();

  std::unique_ptr<TWaveSound> MP;
  bool FirstPlacement = true;
  bool FirstShowDone = false;
  // The corner of a placement made before the window manager had framed the
  // window, to be made again once the frame is known; -1 for none. The
  // checks for the frame left.
  int CornerToRedo = -1;
  int CornerChecksLeft = 0;
  QTimer* CornerTimer;
};

}  // namespace qv
