#include "components/widgets/leaddlgext.h"

#include <sys/stat.h>

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>

#include "model/dropbytes.h"
#include "ui/controls/uoformats.h"
#include "ui/qtprompter.h"

namespace qv {

int TQtLEADDlgProxy::FileOpen(QWidget* parent) {
  FileName.clear();
  FileNames.clear();
  if (FileDlgFlags & kMultiSelect) {
    const QStringList chosen = QFileDialog::getOpenFileNames(parent);
    for (const QString& f : chosen) FileNames.push_back(PathFromQ(f));
    if (!FileNames.empty()) FileName = FileNames.front();
    return chosen.isEmpty() ? 0 : 1;
  }
  const QString chosen = QFileDialog::getOpenFileName(parent);
  FileName = PathFromQ(chosen);
  return chosen.isEmpty() ? 0 : 1;
}

TLEADDlgExt::TLEADDlgExt(std::unique_ptr<TLEADDlgProxy> dialog, QObject* parent)
    : QObject(parent),
      Dialog(dialog ? std::move(dialog) : std::make_unique<TQtLEADDlgProxy>()),
      Timer1(new QTimer(this)) {
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

int TLEADDlgExt::FileOpen(QWidget* argument) {
  Files.clear();
  Timer1->start();
  const int result = Dialog->FileOpen(argument);
  Timer1->stop();
  if (!Files.empty()) return result;  // taken from the clipboard
  if (Dialog->FileDlgFlags & TLEADDlgProxy::kMultiSelect) {
    // The dialog's own list, whole names and all; the text form is only
    // split when that is all the dialog gave.
    if (!Dialog->FileNames.empty()) {
      const size_t n = Dialog->FileNames.size();
      const size_t from = n > kMaxFiles ? n - kMaxFiles : 0;
      Files.assign(Dialog->FileNames.begin() + static_cast<long>(from), Dialog->FileNames.end());
    } else {
      SplitMultiSelection(Dialog->FileName, Files, kMaxFiles);
    }
  } else if (!Dialog->FileName.empty()) {
    Files.push_back(Dialog->FileName);
  }
  return result;
}

void TLEADDlgExt::Timer1Timer() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard->mimeData();
  // A URI list of web links only is no drop of files: it stays on the
  // clipboard.
  if (!DataObjectHasFormat(data, "15")) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const QByteArray bytes = data->data("text/uri-list");
  // The whole list: every file of it, names with blanks kept whole.
  for (const std::string& path : FilePathsFromURIList(
           std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) Files.push_back(path);
  }
  clipboard->clear();
  QGuiApplication::restoreOverrideCursor();
}

void SplitMultiSelection(const std::string& text, std::vector<std::string>& list, size_t limit) {
  const size_t first = text.find(' ');
  if (first == std::string::npos || first == 0) return;
  const std::string folder = text.substr(0, first);
  std::string rest = text;
  while (list.size() < limit) {
    const size_t last = rest.rfind(' ');
    if (last == std::string::npos) break;
    list.push_back(folder + "\\" + rest.substr(last + 1));
    rest.resize(last);
  }
}

}  // namespace qv
