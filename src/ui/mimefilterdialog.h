#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "model/mimefilter.h"
#include "model/prompter.h"
#include "ui/helpwindow.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qv {

class TCheckListBoxExt;

// The "Content-Type filters:" window and the holder of the project's
// content-type filter. The filter itself is a plain value (TMimeFilter); the
// window shows it as check marks while it runs and publishes every new state
// for the worker threads.
class TMimeFilterDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TMimeFilterDlg(QWidget* parent = nullptr);

  // Where the filter is published; the global one unless a test gives its own.
  void SetPublishTarget(TPublished<TMimeFilter>* target);

  // Runs the window over the current patterns; true when the user changed
  // anything.
  bool Execute();
  bool Match(const std::string& contentType) const { return Filter().Match(contentType); }
  void SaveFilter(TStream& stream) const;
  void LoadFilter(TStream& stream);
  // The filter as the window holds it now.
  TMimeFilter Filter() const;
  void SetFilter(const TMimeFilter& filter);
  const std::vector<std::string>& Patterns() const { return Patterns_; }

  // Helpers over the lists.
  void UncheckAll(TCheckListBoxExt* list);
  bool CheckItem(TCheckListBoxExt* list, const std::string& text);
  void CheckCommonType(const std::string& pattern);
  void CheckOtherType(const std::string& pattern);
  void CollectChecked(TCheckListBoxExt* list, const std::string& prefix);

  void Button1Click();  // "Add"
  void Button2Click();  // "Remove"

  // Runs the window modally; tests replace it to act on the window instead.
  std::function<void(TMimeFilterDlg*)> RunModal;
  // Where its messages go; AppPrompter() unless set.
  void SetPrompter(TPrompter* prompter) { Prompter = prompter; }
  // Shows context help for a help context number; the main window sets it.
  std::function<void(int helpContext)> ShowHelp;

  bool Changed = false;
  QWidget* HelpControl = nullptr;
  THelpPressWatch HelpPress;

  TCheckListBoxExt* ImageList;
  TCheckListBoxExt* AppList;
  TCheckListBoxExt* TextList;
  TCheckListBoxExt* SoundList;
  TCheckListBoxExt* VideoList;
  TCheckListBoxExt* OtherList;
  QLineEdit* OtherEd;
  QLabel* DescriptionTxt;
  QRadioButton* SelOnlyChk;
  QRadioButton* UnknownChk;
  QRadioButton* AllChk;
  QPushButton* AddBtn;
  QPushButton* RemoveBtn;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  TCheckListBoxExt* ListFor(const std::string& major) const;
  void Publish();

  std::vector<std::string> Patterns_;
  TPublished<TMimeFilter>* Target;
  TPrompter* Prompter = nullptr;
};

}  // namespace qv
