#include "ui/nonmodalmessage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "model/textfit.h"
#include "ui/controls/textout.h"
#include "ui/qtprompter.h"

namespace qv {

TNonModalMsg::TNonModalMsg(QWidget* parent) : QDialog(parent) {
  setObjectName("NonModalMsg");
  setWindowTitle("Information:-");
  setModal(false);
  // A dialog border: a close button only, and no sizing by the user.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setMinimumHeight(3 * Label1->fontMetrics().height());
  layout->addWidget(Label1);
  setFixedWidth(340);
}

bool TNonModalMsg::ShowText(const std::string& text) {
  // A second pass would clear the first one's hold with its HideMsg.
  if (Busy) return false;
  Label1->setText(PromptText(text));
  Busy = true;
  show();
  FitHeight(false);
  Label1->repaint();
  return true;
}

bool TNonModalMsg::UpdateText(const std::string& text) {
  Label1->setText(PromptText(text));
  FitHeight(false);
  raise();
  QCoreApplication::processEvents();
  if (!CloseRequested) return true;
  HideMsg();
  TPrompter& prompter = Prompter ? *Prompter : AppPrompter();
  if (prompter.Confirm("Do you want to abort this operation?")) return false;
  ShowText("");
  return true;
}

void TNonModalMsg::SetCaption(const std::string& caption) { setWindowTitle(PromptText(caption)); }

void TNonModalMsg::SetText(const std::string& text) {
  Label1->setText(PromptText(text));
  FitHeight(false);
}

void TNonModalMsg::FitHeight(bool shrink) {
  // The passes start with an empty text and go on with texts of up to five
  // lines; sized once for the first, the window would cut the rest off.
  // It only grows while shown, so texts of alternating length (a search
  // step, then a page) do not make it jump.
  const int needed = heightForWidth(width());
  if (needed <= 0 || (!shrink && needed < height())) return;
  if (minimumHeight() != needed || maximumHeight() != needed) setFixedHeight(needed);
}

std::string TNonModalMsg::FitToLabel(const std::string& text) const {
  // Before the first showing the label has not been given its width yet.
  layout()->activate();
  return FitTextToWidth(Label1->fontMetrics(), text, Label1->contentsRect().width(), kFitCutMiddle);
}

void TNonModalMsg::HideMsg() {
  Busy = false;
  CloseRequested = false;
  hide();
}

void TNonModalMsg::closeEvent(QCloseEvent* e) {
  CloseRequested = true;
  if (Busy)
    e->ignore();
  else
    e->accept();
}

// Escape closes the window the way its close button does.
void TNonModalMsg::reject() { close(); }

void TNonModalMsg::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FitHeight(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

}  // namespace qv
