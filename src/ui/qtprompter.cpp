#include "ui/qtprompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringDecoder>
#include <QStyle>

#include "ui/controls/qtext.h"

namespace qv {

namespace {

TPrompter* AppPrompterOverride = nullptr;

const char* KindTitle(TMsgKind kind) {
  switch (kind) {
    case TMsgKind::Information:
      return "Information";
    case TMsgKind::Warning:
      return "Warning";
    case TMsgKind::Error:
      return "Error";
    case TMsgKind::Confirmation:
      break;
  }
  return "Confirm";
}

QMessageBox::Icon KindIcon(TMsgKind kind) {
  switch (kind) {
    case TMsgKind::Information:
      return QMessageBox::Information;
    case TMsgKind::Warning:
      return QMessageBox::Warning;
    case TMsgKind::Error:
      return QMessageBox::Critical;
    case TMsgKind::Confirmation:
      break;
  }
  return QMessageBox::Question;
}

QString AppTitle() {
  const QString name = QGuiApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Quendravilos") : name;
}

}  // namespace

QString PromptText(const std::string& text) { return qv::ExternalToQ(text); }

QString PathToQ(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string PathFromQ(const QString& path) {
  const QByteArray b = QFile::encodeName(path);
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString DialogFilter(const std::string& filter) {
  if (filter.find('|') == std::string::npos) return PromptText(filter);
  const QStringList parts = PromptText(filter).split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList masks = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& m : masks) {
      m = m.trimmed();
      if (m == "*.*") m = "*";
    }
    entries << parts[i] + " (" + masks.join(' ') + ")";
  }
  return entries.join(";;");
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& text, TMsgKind kind,
                                            TMsgButtons buttons) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(KindTitle(kind));
  box->setIcon(KindIcon(kind));
  box->setText(PromptText(text));
  QMessageBox::StandardButtons set;
  switch (buttons) {
    case TMsgButtons::Ok:
      set = QMessageBox::Ok;
      break;
    case TMsgButtons::OkCancel:
      set = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case TMsgButtons::YesNo:
      set = QMessageBox::Yes | QMessageBox::No;
      break;
    case TMsgButtons::YesNoCancel:
      set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
    case TMsgButtons::YesNoAll:
      set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll;
      break;
  }
  box->setStandardButtons(set);
  if (QAbstractButton* all = box->button(QMessageBox::YesToAll)) all->setText("&All");
  if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) box->setEscapeButton(cancel);
  return box;
}

TMsgAnswer AnswerOf(const QMessageBox& box) {
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
      return TMsgAnswer::Ok;
    case QMessageBox::Yes:
      return TMsgAnswer::Yes;
    case QMessageBox::No:
      return TMsgAnswer::No;
    case QMessageBox::YesToAll:
      return TMsgAnswer::All;
    default:
      return TMsgAnswer::Cancel;
  }
}

TMsgAnswer TQtPrompter::Ask(const std::string& text, TMsgKind kind, TMsgButtons buttons) {
  auto box = MakeMessageBox(Parent, text, kind, buttons);
  box->exec();
  return AnswerOf(*box);
}

void TQtPrompter::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, AppTitle(), PromptText(text), QMessageBox::Ok, Parent);
  box.exec();
}

std::string TQtPrompter::ChooseFolder(const std::string& caption, const std::string& start) {
  return PathFromQ(QFileDialog::getExistingDirectory(Parent, PromptText(caption), PathToQ(start)));
}

std::string TQtPrompter::ChooseOpenFile(const std::string& caption, const std::string& start,
                                        const std::string& filter) {
  return PathFromQ(QFileDialog::getOpenFileName(Parent, PromptText(caption), PathToQ(start),
                                                DialogFilter(filter)));
}

std::string TQtPrompter::ChooseSaveFile(const std::string& caption, const std::string& start,
                                        const std::string& filter) {
  return PathFromQ(QFileDialog::getSaveFileName(Parent, PromptText(caption), PathToQ(start),
                                                DialogFilter(filter)));
}

std::unique_ptr<QFileDialog> MakeOpenOrNewDialog(QWidget* parent, const std::string& caption,
                                                 const std::string& start,
                                                 const std::string& filter,
                                                 const std::string& defaultExt) {
  auto dlg = std::make_unique<QFileDialog>(parent, PromptText(caption), PathToQ(start),
                                           DialogFilter(filter));
  dlg->setAcceptMode(QFileDialog::AcceptSave);
  dlg->setFileMode(QFileDialog::AnyFile);
  dlg->setOption(QFileDialog::DontConfirmOverwrite);
  dlg->setLabelText(QFileDialog::Accept, "&Open");
  dlg->setDefaultSuffix(PromptText(defaultExt));
  // Qt's own chooser would show its save icon beside "Open"; a desktop's
  // chooser has no such button here.
  if (auto* box = dlg->findChild<QDialogButtonBox*>())
    if (QPushButton* accept = box->button(QDialogButtonBox::Save))
      accept->setIcon(dlg->style()->standardIcon(QStyle::SP_DialogOpenButton));
  return dlg;
}

std::string TQtPrompter::ChooseOpenOrNewFile(const std::string& caption, const std::string& start,
                                             const std::string& filter,
                                             const std::string& defaultExt) {
  auto dlg = MakeOpenOrNewDialog(Parent, caption, start, filter, defaultExt);
  if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty()) return "";
  return PathFromQ(dlg->selectedFiles().first());
}

TPrompter& AppPrompter() {
  static TQtPrompter desktop;
  return AppPrompterOverride ? *AppPrompterOverride : desktop;
}

void SetAppPrompter(TPrompter* prompter) { AppPrompterOverride = prompter; }

}  // namespace qv
