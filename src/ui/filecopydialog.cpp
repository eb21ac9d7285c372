#include "ui/filecopydialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include "model/textfit.h"
#include "ui/qtprompter.h"

namespace qv {

namespace {

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  return e;
}

}  // namespace

TFileCopyDlg::TFileCopyDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("FileCopyDlg");
  setWindowTitle("Copying File:");
  setModal(false);
  // A dialog border: a close button only, and no sizing by the user.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  FromFile = ReadOnlyEdit(this, "FromFile");
  ToFile = ReadOnlyEdit(this, "ToFile");
  FileCountEdit = ReadOnlyEdit(this, "FileCountEdit");
  TotFiles = ReadOnlyEdit(this, "TotFiles");
  FileSize = ReadOnlyEdit(this, "FileSize");
  for (QLineEdit* e : {FileCountEdit, TotFiles, FileSize}) e->setAlignment(Qt::AlignRight);
  FileCountEdit->setFixedWidth(70);
  TotFiles->setFixedWidth(70);
  FileSize->setFixedWidth(120);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(12, 12, 12, 12);
  grid->setHorizontalSpacing(8);
  grid->addWidget(new QLabel("From:", this), 0, 0);
  grid->addWidget(FromFile, 0, 1);
  grid->addWidget(new QLabel("To:", this), 1, 0);
  grid->addWidget(ToFile, 1, 1);
  grid->addWidget(new QLabel("File Number:", this), 2, 0);
  auto* countRow = new QHBoxLayout;
  countRow->setSpacing(8);
  countRow->addWidget(FileCountEdit);
  countRow->addWidget(new QLabel("of", this));
  countRow->addWidget(TotFiles);
  countRow->addStretch(1);
  grid->addLayout(countRow, 2, 1);
  grid->addWidget(new QLabel("Size:", this), 3, 0);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(FileSize);
  sizeRow->addStretch(1);
  grid->addLayout(sizeRow, 3, 1);
  setFixedWidth(460);
}

void TFileCopyDlg::Start(const std::string& totalText) {
  Cancelled = false;
  Idle = false;
  TotFiles->setText(PromptText(totalText));
  FileCountEdit->clear();
  FileSize->clear();
  FromFile->clear();
  ToFile->clear();
  Count = 0;
  show();
}

void TFileCopyDlg::ShowPath(QLineEdit* edit, const std::string& path) {
  const QFontMetrics fm = edit->fontMetrics();
  const TTextWidth measure = [&fm](std::string_view s) {
    return fm.horizontalAdvance(PromptText(std::string(s)));
  };
  edit->setText(PromptText(MinimizeName(measure, path, edit->contentsRect().width() - 20)));
  edit->setToolTip(PathToQ(path));
}

bool TFileCopyDlg::CopyOneFile(const std::string& source, const std::string& target) {
  if (Cancelled) return false;
  ShowPath(FromFile, source);
  ShowPath(ToFile, target);
  ++Count;
  FileCountEdit->setText(QString::number(Count));
  FileSize->clear();
  QCoreApplication::processEvents();
  // The user may have cancelled while the events ran.
  if (Cancelled) return false;
  CopyFileOver(source, target,
               [this](std::int64_t size) { FileSize->setText(QString::number(size)); });
  return true;
}

void TFileCopyDlg::Finish() {
  Idle = true;
  hide();
}

void TFileCopyDlg::closeEvent(QCloseEvent* e) {
  if (Idle) {
    e->accept();
    return;
  }
  TPrompter& prompter = Prompter ? *Prompter : AppPrompter();
  if (prompter.Confirm("Do you want to cancel the copy opperation:-\n")) {
    Cancelled = true;
    e->accept();
  } else {
    e->ignore();
  }
}

void TFileCopyDlg::reject() { close(); }

void TFileCopyDlg::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  setFixedHeight(sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

}  // namespace qv
