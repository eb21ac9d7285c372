#pragma once

#include <functional>
#include <string>

#include <QDialog>

class QFontMetrics;
class QLabel;
class QListWidget;

namespace qv {

class TRobotsStore;

// The "Robot exclusions:-" window: shows what the robots store has learned,
// the disallowed URL prefixes and the pages whose links were not followed.
// It reads copies of the store's lists when shown; the store itself is the
// engine's and is shared with the worker threads.
class TRobotsDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TRobotsDlg(TRobotsStore* store, QWidget* parent = nullptr);

  void FormShow();
  void Help1Click();

  std::function<void(int helpContext)> ShowHelp;

  QLabel* Label1;
  QLabel* Label2;
  QListWidget* ListBox1;
  QListWidget* ListBox2;

 protected:
  void showEvent(QShowEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  TRobotsStore* Store;
};

// The text fitted to a width in pixels: when it is too wide, a run from its
// middle is replaced by ">><<" so both ends stay readable.
QString FitTextMiddle(const QString& text, const QFontMetrics& fm, int width);

}  // namespace qv
