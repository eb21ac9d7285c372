#include "ui/dialupwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QVBoxLayout>

#include "ui/controls/qtext.h"

namespace qv {

void TPhonebookCombo::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

void TPhonebookCombo::keyPressEvent(QKeyEvent* e) { e->accept(); }

namespace {

void SetTextKeepingCursor(QLineEdit* e, const std::string& text) {
  QString t = ToQ(text);
  if (e->text() != t) e->setText(t);
}

}  // namespace

TDialUpWindow::TDialUpWindow(TDialUpDlg& dlg, QWidget* parent) : QDialog(parent), FDlg(dlg) {
  setWindowTitle("Connect to:-");
  setObjectName("DialUpDlg");

  PBCombo = new TPhonebookCombo(this);
  PBCombo->setObjectName("PBCombo");
  PBCombo->setEditable(false);
  UserEd = new QLineEdit(this);
  UserEd->setObjectName("UserEd");
  PWEd = new QLineEdit(this);
  PWEd->setObjectName("PWEd");
  PWEd->setEchoMode(QLineEdit::Password);
  PWEd->setStyleSheet("lineedit-password-character: 42");  // "*"
  ConBtn = new QPushButton("Connect", this);
  ConBtn->setObjectName("ConBtn");
  ConBtn->setDefault(true);
  CancelBtn = new QPushButton("Cancel", this);
  CancelBtn->setObjectName("CancelBtn");
  Button3 = new QPushButton("Properties", this);
  Button3->setObjectName("Button3");
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  UseModemChk = new QCheckBox("Use modem", this);
  UseModemChk->setObjectName("UseModemChk");
  UseModemChk->setChecked(true);
  RetryEd = new QLineEdit("0", this);
  RetryEd->setObjectName("RetryEd");
  RetryEd->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), RetryEd));
  RetryEd->setMaximumWidth(60);
  AutoDisChk = new QCheckBox("Auto disconnect", this);
  AutoDisChk->setObjectName("AutoDisChk");

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Connect to:-", this), 0, 0);
  grid->addWidget(PBCombo, 0, 1);
  grid->addWidget(new QLabel("User name:-", this), 1, 0);
  grid->addWidget(UserEd, 1, 1);
  grid->addWidget(new QLabel("Password:-", this), 2, 0);
  grid->addWidget(PWEd, 2, 1);
  auto* options = new QHBoxLayout;
  options->addWidget(UseModemChk);
  options->addWidget(new QLabel("Reconnection retries:", this));
  options->addWidget(RetryEd);
  options->addWidget(AutoDisChk);
  options->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ConBtn);
  buttons->addWidget(CancelBtn);
  buttons->addWidget(Button3);
  auto* top = new QVBoxLayout(this);
  top->addLayout(grid);
  top->addLayout(options);
  top->addLayout(buttons);
  top->addWidget(StatusBar1);

  PBCombo->OnDropDown = [this] { FDlg.PBComboDropDown(); };
  connect(PBCombo, &QComboBox::activated, this, [this](int index) {
    if (FSyncing) return;
    FDlg.PBCombo.Text = FromQ(PBCombo->itemText(index));
    FDlg.PBComboChange();
  });
  connect(UserEd, &QLineEdit::textEdited, this,
          [this](const QString& t) { FDlg.UserEd = FromQ(t); });
  connect(PWEd, &QLineEdit::textEdited, this, [this](const QString& t) { FDlg.PWEd = FromQ(t); });
  connect(RetryEd, &QLineEdit::textEdited, this,
          [this](const QString& t) { FDlg.RetryEd.Text = FromQ(t); });
  connect(RetryEd, &QLineEdit::editingFinished, this, [this] { FDlg.RetryEdExit(); });
  connect(UseModemChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) FDlg.UseModemChk = on;
  });
  connect(AutoDisChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) FDlg.AutoDisChk = on;
  });
  connect(ConBtn, &QPushButton::clicked, this, [this] { FDlg.ConBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { FDlg.CancelBtnClick(); });
  connect(Button3, &QPushButton::clicked, this, [this] { FDlg.Button3Click(); });

  FDlg.SetView(this);
  ControlsChanged();
}

TDialUpWindow::~TDialUpWindow() { FDlg.SetView(nullptr); }

void TDialUpWindow::ShowForm() {
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
}

void TDialUpWindow::HideForm() { hide(); }

void TDialUpWindow::ControlsChanged() {
  FSyncing = true;
  QStringList items = ToQList(FDlg.PBCombo.Items);
  bool same = PBCombo->count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = PBCombo->itemText(i) == items[i];
  if (!same) {
    PBCombo->clear();
    PBCombo->addItems(items);
  }
  PBCombo->setCurrentIndex(PBCombo->findText(ToQ(FDlg.PBCombo.Text), Qt::MatchExactly));
  SetTextKeepingCursor(UserEd, FDlg.UserEd);
  SetTextKeepingCursor(PWEd, FDlg.PWEd);
  ConBtn->setEnabled(FDlg.ConBtnEnabled);
  SetTextKeepingCursor(RetryEd, FDlg.RetryEd.Text);
  RetryEd->setEnabled(FDlg.RetryEd.Enabled);
  UseModemChk->setChecked(FDlg.UseModemChk.load());
  AutoDisChk->setChecked(FDlg.AutoDisChk);
  if (StatusBar1->currentMessage() != ToQ(FDlg.StatusBar1))
    StatusBar1->showMessage(ToQ(FDlg.StatusBar1));
  FSyncing = false;
}

void TDialUpWindow::closeEvent(QCloseEvent* e) {
  // Closing the window ends the showing as a cancel would, without counting
  // as the user's Cancel; the logic hides the window itself.
  if (FDlg.Showing()) {
    FDlg.Close(TModalResult::Cancel);
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

void TDialUpWindow::reject() {
  if (FDlg.Showing())
    FDlg.Close(TModalResult::Cancel);
  else
    QDialog::reject();
}

}  // namespace qv
