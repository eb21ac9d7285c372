#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QTimer>

class QWidget;

namespace qv {

// The file-open dialog the wrapper runs. FileOpen returns when the dialog
// closes: 1 when files were chosen, 0 when it was cancelled.
class TLEADDlgProxy {
 public:
  static constexpr int kMultiSelect = 0x200;

  virtual ~TLEADDlgProxy() = default;
  int FileDlgFlags = 0;
  // The chosen file (one choice).
  std::string FileName;
  // Every chosen file, in the dialog's order (several choices).
  std::vector<std::string> FileNames;
  virtual int FileOpen(QWidget* parent) = 0;
};

// The proxy on QFileDialog.
class TQtLEADDlgProxy : public TLEADDlgProxy {
 public:
  int FileOpen(QWidget* parent) override;
};

// Runs the file-open dialog and gives the chosen files as full paths. While
// the dialog is open, files put on the clipboard (a file list, as a file
// manager copies it) are taken instead: every existing local file of the
// list, in order, and the clipboard is emptied; the dialog's own choice is
// then ignored. A list without a file in it (web links) is left alone.
class TLEADDlgExt : public QObject {
  Q_OBJECT
 public:
  // No dialog given: the QFileDialog one.
  explicit TLEADDlgExt(std::unique_ptr<TLEADDlgProxy> dialog = nullptr, QObject* parent = nullptr);

  std::unique_ptr<TLEADDlgProxy> Dialog;
  std::vector<std::string> Files;
  QTimer* Timer1;

  int FileOpen(QWidget* argument = nullptr);
  // The clipboard check, once a second while the dialog is open.
  void Timer1Timer();

  // Most entries a choice gives.
  static constexpr size_t kMaxFiles = 1000;
};

// The dialog's multi-select text "folder name name ...": adds folder + "\" +
// name for each name, from the last one back, while list holds fewer than
// limit entries. Nothing for a text without a blank or beginning with one.
void SplitMultiSelection(const std::string& text, std::vector<std::string>& list, size_t limit);

}  // namespace qv
