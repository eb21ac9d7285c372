#pragma once

#include <cstdint>
#include <string>

#include <QDialog>

#include "model/weblocal.h"

class QLineEdit;

namespace qv {

// The "Copying File:" window that copies the stored copies of selected URLs
// into a folder, one file at a time, showing which and how far. The main
// window owns the one instance. Closing it during a run asks whether to
// cancel; a cancelled run copies nothing more until the next Start.
// User-interface thread only.
class TFileCopyDlg : public QDialog, public TFileCopier {
  Q_OBJECT
 public:
  explicit TFileCopyDlg(QWidget* parent = nullptr);

  // The prompter for the cancel question; AppPrompter() unless set.
  void SetPrompter(TPrompter* prompter) { Prompter = prompter; }

  void Start(const std::string& totalText) override;
  // Shows the paths and the count, lets events run, then copies (CopyFileOver:
  // a target that is the source itself is left alone). False at once when
  // the run was cancelled; a failed copy raises EInOutError.
  bool CopyOneFile(const std::string& source, const std::string& target) override;
  void Finish() override;

  bool Cancelled = false;
  bool Idle = true;
  std::int32_t Count = 0;

  QLineEdit* FromFile;
  QLineEdit* ToFile;
  QLineEdit* FileCountEdit;
  QLineEdit* TotFiles;
  QLineEdit* FileSize;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  void showEvent(QShowEvent* e) override;

 private:
  void ShowPath(QLineEdit* edit, const std::string& path);

  TPrompter* Prompter = nullptr;
};

}  // namespace qv
