#include "ui/schedulewindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/controls/qtext.h"
#include "ui/settingsdialog.h"

namespace qv {

namespace {

constexpr int kHelpForm = 133;

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name, int help, int width) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);
  e->setAlignment(Qt::AlignCenter);
  e->setFixedWidth(width);
  e->setProperty("HelpContext", help);
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* text, int help) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setProperty("HelpContext", help);
  b->setAutoDefault(false);
  return b;
}

void SetText(QLineEdit* e, const std::string& text) {
  const QString t = ToQ(text);
  if (e->text() != t) e->setText(t);
}

}  // namespace

TScheduleWindow::TScheduleWindow(TScheduleDlg& dlg, QWidget* parent) : QDialog(parent), FDlg(dlg) {
  setWindowTitle("Schedule running:");
  setObjectName("ScheduleDlg");
  setProperty("HelpContext", kHelpForm);

  const int editWidth = fontMetrics().horizontalAdvance("00:00:00 AM") + 16;

  auto* daily = new QGroupBox("Daily:", this);
  StartTimeEd = ReadOnlyEdit(daily, "StartTimeEd", 134, editWidth);
  auto* dailyGrid = new QGridLayout(daily);
  dailyGrid->addWidget(new QLabel("Start time:", daily), 0, 0);
  dailyGrid->addWidget(StartTimeEd, 0, 1);
  dailyGrid->addWidget(new QLabel("Hrs. Mins. Secs.", daily), 0, 2);
  dailyGrid->setColumnStretch(2, 1);

  auto* cyclic = new QGroupBox("Cyclic:", this);
  IntervalEd = ReadOnlyEdit(cyclic, "IntervalEd", 135, editWidth);
  IntervalUnits = new QLabel("Hrs.", cyclic);
  IntervalUnits->setObjectName("IntervalUnits");
  TillNextEd = ReadOnlyEdit(cyclic, "TillNextEd", 136, editWidth);
  auto* cyclicGrid = new QGridLayout(cyclic);
  cyclicGrid->addWidget(new QLabel("Interval:", cyclic), 0, 0);
  cyclicGrid->addWidget(IntervalEd, 0, 1);
  cyclicGrid->addWidget(IntervalUnits, 0, 2);
  cyclicGrid->addWidget(new QLabel("Next repeat time:", cyclic), 1, 0);
  cyclicGrid->addWidget(TillNextEd, 1, 1);
  cyclicGrid->addWidget(new QLabel("Hrs. Mins. Secs.", cyclic), 1, 2);
  cyclicGrid->setColumnStretch(2, 1);
  // The two groups line their edits up.
  const int labelWidth = fontMetrics().horizontalAdvance("Next repeat time:");
  dailyGrid->setColumnMinimumWidth(0, labelWidth);
  cyclicGrid->setColumnMinimumWidth(0, labelWidth);

  KeepMinChk = new QCheckBox("Keep minimised", this);
  KeepMinChk->setObjectName("KeepMinChk");
  KeepMinChk->setProperty("HelpContext", 139);
  StayConChk = new QCheckBox("Stay connected", this);
  StayConChk->setObjectName("StayConChk");
  StayConChk->setProperty("HelpContext", 142);

  Button2 = Button(this, "Button2", "Stand by", 137);
  Button3 = Button(this, "Button3", "Exit", 138);
  Button1 = Button(this, "Button1", "View log", 140);
  Button4 = Button(this, "Button4", "Delete log", 141);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    StatusPanels[i] = new QLabel(StatusBar1);
    StatusPanels[i]->setAlignment(Qt::AlignCenter);
    StatusPanels[i]->setFrameShape(QFrame::Panel);
    StatusPanels[i]->setFrameShadow(QFrame::Sunken);
  }
  StatusPanels[0]->setObjectName("StatusPanel0");
  StatusPanels[1]->setObjectName("StatusPanel1");
  // The activity panel is the wider; the clock takes what is left.
  StatusPanels[0]->setMinimumWidth(180);
  StatusBar1->addWidget(StatusPanels[0], 3);
  StatusBar1->addWidget(StatusPanels[1], 2);

  auto* checks = new QHBoxLayout;
  checks->addWidget(KeepMinChk);
  checks->addWidget(StayConChk);
  checks->addStretch();
  auto* buttons = new QGridLayout;
  buttons->addWidget(Button2, 0, 0);
  buttons->addWidget(Button3, 0, 1);
  buttons->addWidget(Button1, 1, 0);
  buttons->addWidget(Button4, 1, 1);
  auto* top = new QVBoxLayout(this);
  top->addWidget(daily);
  top->addWidget(cyclic);
  top->addLayout(checks);
  top->addLayout(buttons);
  top->addStretch();
  top->addWidget(StatusBar1);
  top->setContentsMargins(8, 8, 8, 0);
  // A dialog border: the size is fixed, at least the designed client area.
  setFixedSize(sizeHint().expandedTo(QSize(295, 274)));

  connect(KeepMinChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) FDlg.KeepMinChk = on;
  });
  connect(StayConChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) FDlg.StayConChk = on;
  });
  connect(Button2, &QPushButton::clicked, this, [this] { FDlg.Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { FDlg.Button3Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { FDlg.Button1Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { FDlg.Button4Click(); });

  // Every control remembers itself as the subject of context help.
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

  FDlg.SetView(this);
  ControlsChanged();
}

TScheduleWindow::~TScheduleWindow() { FDlg.SetView(nullptr); }

void TScheduleWindow::ShowForm() {
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
}

void TScheduleWindow::HideForm() { hide(); }

void TScheduleWindow::ControlsChanged() {
  FSyncing = true;
  SetText(StartTimeEd, FDlg.StartTimeEd);
  SetText(IntervalEd, FDlg.IntervalEd);
  IntervalUnits->setText(ToQ(FDlg.IntervalUnits));
  SetText(TillNextEd, FDlg.TillNextEd);
  KeepMinChk->setChecked(FDlg.KeepMinChk);
  StayConChk->setChecked(FDlg.StayConChk);
  for (int i = 0; i < 2; ++i) StatusPanels[i]->setText(ToQ(FDlg.StatusPanel[i]));
  FSyncing = false;
}

void TScheduleWindow::ShowMainWindow(bool show) {
  if (OnShowMainWindow) OnShowMainWindow(show);
}

void TScheduleWindow::MinimizeApplication() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !w->isMinimized()) w->showMinimized();
}

void TScheduleWindow::RestoreApplication() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->isMinimized()) w->showNormal();
}

void TScheduleWindow::MinimizeJobWindows() {
  for (const QPointer<QWidget>& w : JobWindows)
    if (w && w->isVisible() && !w->isMinimized()) w->showMinimized();
}

void TScheduleWindow::NormalizeJobWindows() {
  // Hidden windows stay hidden: normal state is not a showing.
  for (const QPointer<QWidget>& w : JobWindows)
    if (w && w->isVisible() && w->isMinimized()) w->showNormal();
}

void TScheduleWindow::paintEvent(QPaintEvent* e) {
  QDialog::paintEvent(e);
  // Window states change after the paint, never inside it.
  if (FPaintPending) return;
  FPaintPending = true;
  QTimer::singleShot(0, this, [this] {
    FPaintPending = false;
    FDlg.FormPaint();
  });
}

void TScheduleWindow::closeEvent(QCloseEvent* e) {
  // Closing the window is "Exit"; the logic hides the window itself.
  if (FDlg.Showing()) {
    FDlg.Button3Click();
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

void TScheduleWindow::reject() {
  if (FDlg.Showing())
    FDlg.Button3Click();
  else
    QDialog::reject();
}

int TScheduleWindow::HelpContextOf(QWidget* w) const {
  for (; w; w = w->parentWidget())
    if (w->property("HelpContext").isValid()) return w->property("HelpContext").toInt();
  return kHelpForm;
}

bool TScheduleWindow::eventFilter(QObject* o, QEvent* e) {
  if (QWidget* pressed = HelpPress.Pressed(o, e)) HelpControl = pressed;
  return QDialog::eventFilter(o, e);
}

void TScheduleWindow::contextMenuEvent(QContextMenuEvent* e) {
  QMenu menu(this);
  QAction* help = menu.addAction("Help");
  if (menu.exec(e->globalPos()) == help && ShowHelp) ShowHelp(HelpContextOf(HelpControl));
}

void SaveScheduleSettings(TSettingsDlg& settings, const std::vector<TAtrRow>& projects) {
  TSettings s = settings.Capture();
  s.PrjGrid = projects;
  settings.Apply(s);
  settings.FormHide();
}

}  // namespace qv
