#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "model/prompter.h"
#include "model/settings.h"
#include "ui/helpwindow.h"

class QAbstractButton;
class QCheckBox;
class QPushButton;
class QTabWidget;

namespace qv {

class TFilterGrid;
class TMimeFilterDlg;

// The "Settings:-" window. Its controls are bound to the option table: the
// window captures them into a TSettings value and publishes it whenever one
// changes, and shows a TSettings value by applying it. Worker threads read the
// published value, never a control.
class TSettingsDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TSettingsDlg(QWidget* parent = nullptr);

  // Where the settings are published; the global value unless a test gives
  // its own. The content-type filter window whose block the project section
  // carries.
  void SetPublishTarget(TPublished<TSettings>* target);
  void SetMimeFilterDlg(TMimeFilterDlg* dlg) { MimeFilterDlg = dlg; }

  // The controls' values, and showing a value in them.
  TSettings Capture() const;
  void Apply(const TSettings& s);
  std::shared_ptr<const TSettings> Settings() const { return Target->Get(); }

  // Store load (the window is shown) and save (it is hidden); also called
  // directly at start-up and shut-down.
  void FormShow();
  void FormHide();
  void SaveProjectSettings(TStream& stream) const;
  void LoadProjectSettings(TStream& stream);

  void UpdateEnabling();
  void ShowScheduleRow();
  void StoreScheduleRow();
  void CheckWeekdays(bool on);
  void CheckSlots(bool on);
  void EnableWeekdays(bool on);
  void EnableSlots(bool on);

  void Button1Click();  // "Add" a scheduled project
  void Button3Click();  // "Remove"
  void LocWebBrBtnClick();
  void LinkFollowGridEdited(int Col, int Row, const std::string& Text);
  void PrjGridEdited(int Col, int Row, const std::string& Text);

  QWidget* Control(const char* name) const;
  TFilterGrid* LinkFollowGrid() const { return LinkFollowGrid_; }
  // Whether a link may be followed under the rows now in the link-follow
  // grid (the workers test the published rows with the same function).
  bool CanFollowLink(const std::string& url, const std::string& linkText) const;
  TFilterGrid* PrjGrid() const { return PrjGrid_; }
  QTabWidget* Pages() const { return Pages_; }

  // Set by the main window: a project option was edited; the local mirror
  // folder is now this; show context help for a help context.
  std::function<void()> OnModified;
  std::function<void(const std::string&)> OnLocalWebDir;
  std::function<void(int helpContext)> ShowHelp;
  // Where its messages and file and folder choosers go; AppPrompter()
  // unless set (tests give a scripted one).
  void SetPrompter(TPrompter* prompter) { Prompter_ = prompter; }

  bool LocWebChanged = false;
  QWidget* HelpControl = nullptr;
  THelpPressWatch HelpPress;
  std::vector<QCheckBox*> WeekdayBoxes;  // Sunday first
  std::vector<QCheckBox*> SlotBoxes;     // "12am" first

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  void Build();
  void BindSignals();
  void ControlChanged();
  void Modified();
  QWidget* MakeControl(const TOption& o, QWidget* parent);
  int HelpContextOf(QWidget* w) const;

  TPrompter& Prompter() const;

  TPublished<TSettings>* Target;
  TPrompter* Prompter_ = nullptr;
  TMimeFilterDlg* MimeFilterDlg = nullptr;
  QTabWidget* Pages_ = nullptr;
  TFilterGrid* LinkFollowGrid_ = nullptr;
  TFilterGrid* PrjGrid_ = nullptr;
  bool Applying = false;
};

}  // namespace qv
