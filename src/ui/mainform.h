#pragma once
// The main window. Its parts live in several files, one per reason to
// change: mainform.cpp (construction, first showing, first painting, the
// minimise and start-up help timers, closing), mainform_layout.cpp (the
// controls), mainform_help.cpp (context help and the tab pages), and
// mainform_views.cpp (what the project session asks of the window). Later
// parts add their own files beside these.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <Qt>

#include "engine/outbox.h"
#include "engine/urladder.h"
#include "model/dragout.h"
#include "model/projectfile.h"
#include "model/prompter.h"
#include "model/viewfilter.h"
#include "ui/helpwindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QMouseEvent;
class QTimer;

namespace qv {

class TDroppedURLSink;
class TUOTextSource;
struct TZoneDrop;

class TCheckListBoxExt;
class TURLListBox;
class TVkURLItem;
class TFilterGrid;
class TPassWordGrid;
class TStringAtrGrid;
class TTvImagePanel;
class TUOTextTarget;

// The main window's own help context, and its pages'.
inline constexpr int kMainFormHelp = 20;
inline constexpr int kRetrievePageHelp = 21;
inline constexpr int kFiltersPageHelp = 22;
inline constexpr int kImagesPageHelp = 23;
inline constexpr int kPasswordsPageHelp = 24;
// The root URL grid's own topic: its rows, scopes and levels.
inline constexpr int kRootGridHelp = 25;
// The topics shown at start with "Start up help" on: how to begin, and how
// to pick URLs from a browsing session.
inline constexpr int kStartHelp = 67;
inline constexpr int kBrowseHelp = 154;

inline constexpr char kCleaningCache[] = "Cleaning up cache. Please wait";
inline constexpr char kCleaningDone[] = "Completed";

class TForm1 : public QMainWindow, public TProjectView {
  Q_OBJECT
 public:
  // Builds the layout, then the fields, the file-copy window (owned) and
  // the global objects; a failure frees what was made and passes on.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Fields.
  std::string FileSignature;
  std::vector<std::string> DragTempFiles;
  QWidget* HelpControl = nullptr;
  bool FirstShowDone = false;
  std::int32_t MinimizeCountdown = 0;
  struct TBounds {
    std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  } ThumbBounds;
  bool ListRebuilt = false;
  bool CheckPassDone = false;
  bool SizeFilterEdited = false;
  std::int32_t DragStartX = 0;
  std::int32_t DragStartY = 0;

  // The current project: its values, name, local mirror folder, modified
  // flag.
  TProjectSession& Session() { return *Session_; }
  const std::string& ProjectFileName() const { return Session_->ProjectFileName(); }
  const std::string& LocalWebDir() const { return Session_->LocalWebDir(); }
  bool Modified() const { return Session_->Modified(); }
  void SetModified(bool on = true) { Session_->SetModified(on); }

  // Events.
  void FormShow();
  void FormPaint();
  void FormResize();
  void MinimizeTimerTimer();
  void BrowseHelpTimerTimer();
  // Whether the window may close now: not while a job, a pass over the list
  // or the schedule runs. Asks the job runner, which offers to stop its job,
  // and waits for a stopped job to end.
  bool FormCloseQuery();
  // The closing steps; false (window stays open) when the modified project
  // could not be saved.
  bool FormClose();
  void HelpMouseDown(QWidget* control);
  void HelpMouseMove(QWidget* control);
  void SetHelpClick(QWidget* control);
  void HelpMenuClick();
  void PageShow(int index);
  void ApplicationRestore();
  void ApplicationActivate();
  void ApplicationDeactivate();

  // Loads the project the command line or the settings name, once (the
  // first painting, or the "/S" schedule start when that comes first).
  void LoadStartProject();
  bool StartProjectLoaded() const { return StartLoaded; }

  // The help of the control or its nearest ancestor with a context (this
  // window's when none has one); false only without a control.
  bool ShowControlHelp(QWidget* control);
  // Renames the copies handed out by the last drag-out back to the names
  // they had.
  void CancelHDrop();

  // Clipboard, drop and drag-out (mainform_clipboard.cpp).
  // Adds every URL line of the text to the master list; the index of the
  // last added, or -1.
  int AddURLsFromText(const std::string& text);
  // The clipboard's text through AddURLsFromText; nothing without text.
  void PasteURLsToList();
  // A right-button press in a list: a drag-out may follow from there.
  void ListsMouseDown(QWidget* list, const QMouseEvent& e);
  // A move over a list with buttons down: past 10 pixels from the press,
  // the drag-out starts.
  void StartDragOut(TUOTextSource* source, int x, int y, Qt::MouseButtons buttons);
  // Renders "15" (the stored copies as files) or "1" (their names as text)
  // for a drag-out from the list of source.
  std::string RenderDragOut(TUOTextSource* source, const std::string& formatName);
  void RootURLsDropDrop(const TZoneDrop& drop);
  void URLsDropDrop(const TZoneDrop& drop);
  // The main window as drops and pastes reach it.
  TDroppedURLSink& DropSink();
  // The URLs a drag-out from the source's list takes: its selected lines
  // or rows.
  std::vector<std::string> DragOutURLs(TUOTextSource* source);
  // The copies renamed for the last drag-out, as (original, new) pairs.
  std::vector<TDragOutCopy> DragOutCopies;
  TUOTextSource* SingURLsSrc = nullptr;
  TUOTextSource* RootURLsSrc = nullptr;
  // "Browse for URLs"; its command comes with the main window's commands.
  std::function<void()> BrowseForURLs;
  // Moves the pointer to a point of the root grid where the platform lets
  // a program do so.
  void PointAtRootGrid();

  // TProjectView.
  void ShowProject(const TProjectValues& values) override;
  void ClearRootURLs() override;
  void RefreshURLList() override;
  void SetCaption(const std::string& caption) override;
  void SetStatusText(const std::string& text) override;
  // Shows the text and, every few tens of milliseconds, lets the window
  // repaint and answer the window system; the user's input, the timers and
  // the sockets wait for the end of the load.
  void ShowLoadProgress(const std::string& text) override;
  void SetBusy(bool busy) override;
  void SetLocalWebDirText(const std::string& dir) override;

  // Where questions and messages go; AppPrompter() unless set.
  void SetPrompter(TPrompter* prompter) { Prompter_ = prompter; }
  TPrompter& Prompter() const;

  // Controls.
  QTabWidget* PageControl1;
  QWidget* RetrievePage;
  QWidget* FiltersPage;
  QWidget* ImagesPage;
  QWidget* PasswordsPage;
  QPushButton* RetrieveHDummy;
  QPushButton* FiltersHDummy;
  QPushButton* URLAttribsHDummy;
  QPushButton* PasswordsHDummy;
  // "Retrieve" page.
  TStringAtrGrid* Grid1;
  QPushButton* QMBtn;
  QPushButton* DLBtn;
  // "Filters" page.
  QComboBox* DLFilesCombo;
  QComboBox* ChkFilesCombo;
  QComboBox* NewFilesCombo;
  QComboBox* FailedFilesCombo;
  QComboBox* DelFilesCombo;
  QComboBox* WebPgFilesCombo;
  QComboBox* ImageLinksCombo;
  TFilterGrid* FilGrid;
  QLineEdit* MinSizeEd;
  QLineEdit* MaxSizeEd;
  QCheckBox* AutoUpChk;
  QPushButton* UpdateBtn;
  QCheckBox* LimitAdditionsChk;
  QPushButton* Button1;  // "Check all"
  QPushButton* Button5;  // "Uncheck all"
  // "Images" page: the URL attributes and the thumbnail.
  QLineEdit* StatusEd;
  QLineEdit* SizeEd;
  QLineEdit* ContentTypeEd;
  QLineEdit* ParentURLEd;
  QPlainTextEdit* TextEdit;
  QPushButton* DetailsBtn;
  QRadioButton* URLImageRBtn;
  QRadioButton* LinkImageRBtn;
  TTvImagePanel* ThumbImage1;
  QPushButton* PrintImageBtn;
  QPushButton* SlideShowBtn;
  QPushButton* FullScreenBtn;
  QSpinBox* ViewIntEd;
  QLabel* DLIELabel;
  QPushButton* DLIEBtn;
  // "Passwords" page.
  TPassWordGrid* PWGrid;
  // Below the pages.
  TURLListBox* SingURLs;
  QLineEdit* NumURLsEd;
  QStatusBar* StatusBar1;
  QMenu* HelpPopup;
  QTimer* MinimizeTimer;
  QTimer* BrowseHelpTimer;
  TUOTextTarget* RootURLsDrop;
  TUOTextTarget* URLsDrop;

  QTimer* UpdateTimer;
  QTimer* DrainTimer;

  // URL views and filters (mainform_views.cpp).
  // The view filter the "Filters" page shows, as last published.
  TViewFilter ViewFilter;
  // The "Filters" page's controls as one value, and the value shown in them
  // (no change events while it is put in).
  TViewFilter FilterFromControls() const;
  void FilterToControls(const TViewFilter& filter);
  // Takes the controls' value and publishes it to the worker threads.
  void PublishViewFilter();
  // Whether the URL is shown (and may be queued): with its record when given
  // (the caller holds URLListLock), else its listed record, else a blank one.
  bool URLPassesFilters(const std::string& url, TVkURLItem* record = nullptr);
  void ShowAttributes();
  void ClearAttributes();
  // "Check all" (on) and "Uncheck all" (off).
  void CheckAllURLs(bool on);
  // A filter control changed: the project is modified, and with "Auto
  // Update" on the view is rebuilt.
  void FilterChanged();
  void UpdateTimerTimer();
  // Additions from any thread go through the adder; what they leave for
  // the window waits in the outbox until DrainTimer takes it.
  TOutbox& Outbox() { return *Outbox_; }
  TURLAdder& Adder() { return *Adder_; }
  // The adder's three entries, as the window's own (any thread): the caller
  // of AddURLItem holds URLListLock; AddURLItemLocked takes it; AddFoundURL
  // builds a new record of the found link and adds it the locked way.
  int AddURLItem(uint8_t appendToView, const TVkURLItem& record);
  int AddURLItemLocked(uint8_t appendToView, const TVkURLItem& record);
  int AddFoundURL(uint8_t appendToView, const std::string& url, const std::string& foundURL,
                  const std::string& parentURL, uint8_t pageFileFlag, const std::string& title,
                  const std::string& imageURL, int32_t size);
  // Takes what worker threads left for the window and shows it: new lines
  // (each URL once), the line count, the modified flag, the latest status
  // text.
  void DrainOutbox();
  // Shows the image file as the thumbnail within ThumbBounds.
  void ShowThumbnail(const std::string& path);
  bool ThumbShown = false;

  // Root URL grid (mainform_roots.cpp).
  void SetRootURLAttributes(int row, int scope, int levels);
  // The text the editor starts with; empty in the levels column, which
  // cannot be edited as text.
  std::string Grid1GetEditText(int col, int dataRow);
  void Grid1Edited(int col, int gridRow, const std::string& text);
  void RootURLsDblClick(int col);
  // True when the key was handled here and the grid must not see it.
  bool RootURLsKeyDown(int key, Qt::KeyboardModifiers shift);
  // False when typed characters must be discarded (an extraction runs).
  bool Grid1KeyPress();
  // The main window's root commands "&Open" and "&Delete", set by the
  // commands' code (nothing happens unset), and the extraction test (the
  // job window's running job unset).
  std::function<void()> RootOpenCommand;
  std::function<void()> RootDeleteCommand;
  std::function<bool()> ExtractionRunning;

  // Main window commands (mainform_commands.cpp) and the list pop-ups
  // (mainform_popups.cpp).
  QPushButton* InfoBtn;
  QPushButton* ScheduleBtn;
  QPushButton* SettingsBtn;
  QPushButton* NewMirrorBtn;
  QPushButton* RobotsBtn;
  QPushButton* ContentTypeBtn;
  QPushButton* ShowDropBtn;
  QPushButton* BrowseBtn;
  QPushButton* AboutBtn;
  QMenu* URLPopup;
  QMenu* RootURLPopup;
  QAction* URLDelFilesItem;
  // The job runs of the job commands: true when the job ran. The job
  // runner's unless a test puts its own.
  std::function<bool(bool infoOnly)> DownloadJob;
  std::function<bool()> ExtractJob;
  // The status bar's account of the last job run through DownloadJob or
  // ExtractJob (what it did, where its failures are listed, the pages the
  // localising pass could not rewrite); "" before any. Set as the job ends,
  // and shown again by the job commands after the list's rebuild, which
  // empties the status bar.
  std::string JobReport;
  void ShowJobReport();
  // Takes the account of the job that just ended and shows it.
  void NoteJobReport();
  void DLBtnClick();
  void InfoBtnClick();
  void QMBtnClick();
  void ScheduleBtnClick();
  void SettingsBtnClick();
  void NewMirrorBtnClick();
  void RobotsBtnClick();
  void ContentTypeBtnClick();
  void ShowDropBtnClick();
  void BrowseBtnClick();
  void AboutBtnClick();
  void DLIEBtnClick();
  void PrintImageBtnClick();
  void SlideShowBtnClick();
  void FullScreenBtnClick();
  void DetailsBtnClick();
  void ParentURLDblClick();
  // Runs a job command's steps; what they raise is shown, and the program
  // goes on.
  void RunReported(const std::function<void()>& steps);
  // Deletes (or, with markOnly, marks "Deleted") the selected URLs, asking
  // before the stored files of a downloaded one go.
  void DeleteSelectedURLs(bool markOnly);
  // True while a pass over the list or a deletion is busy: commands that
  // change the list wait for it.
  bool ListCommandBusy() const;
  // URL list pop-up.
  void URLCopyClick();
  void URLDeleteClick();
  void URLOpenClick();
  void URLFolderClick(bool explore);
  void URLSendToClick();
  void URLDelFilesClick();
  void URLPrintClick();
  void URLPopupShow();
  // Root URL pop-up.
  void RootPasteClick();
  void RootDeleteClick();
  void RootOpenClick();
  void RootFolderClick(bool explore);
  void RootSendToClick();
  void RootPrintClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  void BuildLayout();
  void FitGlyphs();
  void InstallApplicationHandlers();
  void InstallClipboardHandlers();
  bool ClipboardEvent(QObject* o, QEvent* e);
  // A list's pop-up menu asked for at the right button's press, held back
  // until its release so that a drag-out can start in between.
  struct TPendingMenu {
    QPointer<QObject> Receiver;
    QPoint Pos, GlobalPos;
  } PendingMenu;

  std::unique_ptr<TProjectSession> Session_;
  std::unique_ptr<TDroppedURLSink> DropSink_;
  void ConnectViews();
  void ConnectRootGrid();
  // Keeps the session's root rows as the root grid shows them.
  void WriteRootEditsToSession();
  void StepRootScope();
  void PasteRootURLs();
  void BuildCommands();
  void BuildPopups();
  void PasswordsPageChange(int index);
  bool Deleting = false;
  int CommandsLastPage = -1;

  std::unique_ptr<TOutbox> Outbox_;
  std::unique_ptr<TURLAdder> Adder_;
  TPrompter* Prompter_ = nullptr;
  bool ShowDone = false;
  bool PaintQueued = false;
  bool StartLoaded = false;
  bool Closed = false;
  // When a load last let the window's messages run.
  std::chrono::steady_clock::time_point LoadMessagesRan{};
  int BrowseHelpTicks = 0;
  int LastPage = -1;
  THelpPressWatch HelpPress;
};

}  // namespace qv
