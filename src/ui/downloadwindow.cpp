#include "ui/downloadwindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "model/textfit.h"
#include "ui/controls/fontfit.h"
#include "ui/controls/scaledstringgrid.h"

namespace qv {

namespace {

const int kPanelWidths[3] = {213, 214, 214};

}  // namespace

TDownloadWindow::TDownloadWindow(TDownloadFrm& runner, QWidget* parent)
    : QDialog(parent), Runner(runner) {
  setWindowTitle(QString::fromStdString(Runner.Caption));
  setProperty("HelpContext", 79);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Grid1 = new TScaledStringGrid(this);
  Grid1->SetColCount(6);
  Grid1->SetRowCount(2);
  Grid1->setProperty("HelpContext", 80);
  Grid1->verticalHeader()->setDefaultSectionSize(16);
  Grid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid1->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int c = 0; c < 6; ++c) Grid1->SetCell(c, 0, TDownloadFrm::kHeadings[c]);
  // The designed widths hold a line of 16 pixels; they grow with a taller
  // font, as the grid's row does, and further where a heading needs more.
  // The status column also holds "Receiving", what a thread shows for most
  // of a download, and what a thread waits on before an answer.
  const QFontMetrics cells = Grid1->fontMetrics();
  const double scale = std::max(1.0, cells.height() / 16.0);
  const QHeaderView* header = Grid1->horizontalHeader();
  // A cell's text sits inside the style's margins and the grid line; two
  // pixels more for the fractions of the font's advances.
  const int cellMargins =
      2 * (Grid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Grid1) + 1) + 3;
  for (int c = 0; c < 6; ++c)
    FColumnWidths[c] = std::max(static_cast<int>(TDownloadFrm::kColumnWidths[c] * scale),
                                header->sectionSizeHint(c));
  for (const char* activity : {"Receiving", "Connecting", "Awaiting answer"})
    FColumnWidths[3] = std::max(FColumnWidths[3], cells.horizontalAdvance(activity) + cellMargins);
  for (int c = 0; c < 6; ++c) Grid1->setColumnWidth(c, FColumnWidths[c]);
  // Column 0 takes what the others leave, so nothing hides to the right.
  Grid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layout->addWidget(Grid1, 1);
  auto* row = new QHBoxLayout;
  SkipBtn = new QPushButton("Skip", this);
  SkipBtn->setProperty("HelpContext", 29);
  CancelBtn = new QPushButton("Stop", this);
  CancelBtn->setProperty("HelpContext", 30);
  LocRefsChk = new QCheckBox("Localise references", this);
  LocRefsChk->setProperty("HelpContext", 121);
  AutoDisChk = new QCheckBox("Auto disconnect", this);
  AutoDisChk->setProperty("HelpContext", 28);
  row->addWidget(SkipBtn);
  row->addWidget(CancelBtn);
  row->addWidget(LocRefsChk);
  row->addWidget(AutoDisChk);
  row->addStretch(1);
  JobProgress = new QProgressBar(this);
  JobProgress->setTextVisible(true);
  JobProgress->setAlignment(Qt::AlignCenter);
  JobProgress->setMinimumWidth(
      JobProgress->fontMetrics().horizontalAdvance("000000 of 000000 done") +
      4 * JobProgress->fontMetrics().averageCharWidth());
  row->addWidget(JobProgress);
  layout->addLayout(row);
  auto* bar = new QStatusBar(this);
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    Panels[i] = new QLabel(this);
    Panels[i]->setAlignment(Qt::AlignCenter);
    Panels[i]->setMinimumWidth(kPanelWidths[i]);
    bar->addWidget(Panels[i], 1);
  }
  layout->addWidget(bar);

  HelpMenu = new QMenu(this);
  HelpMenu->addAction("Help", this, [this] { Help1Click(); });
  // The form, the grid (its cells are drawn in the viewport) and the two
  // check boxes remember a press as the subject of context help.
  for (QObject* o : {static_cast<QObject*>(this), static_cast<QObject*>(Grid1),
                     static_cast<QObject*>(Grid1->viewport()), static_cast<QObject*>(LocRefsChk),
                     static_cast<QObject*>(AutoDisChk)})
    o->installEventFilter(this);

  connect(SkipBtn, &QPushButton::clicked, this, [this] {
    HelpSender = SkipBtn;
    Runner.SelectedRow = Grid1->Row();
    Runner.SkipBtnClick();
  });
  connect(CancelBtn, &QPushButton::clicked, this, [this] {
    HelpSender = CancelBtn;
    Runner.AbortBtnClick();
  });
  connect(LocRefsChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) Runner.LocRefsChk = on;
  });
  connect(AutoDisChk, &QCheckBox::toggled, this, [this](bool on) {
    if (!FSyncing) Runner.AutoDisChk = on;
  });
  Runner.SetView(this);
  ControlsChanged();
  GridChanged();
  // The designed client area, wider where the first column's designed width
  // does not fit beside the others, taller where the font needs it.
  int others = 0;
  for (int c = 1; c < 6; ++c) others += FColumnWidths[c];
  resize(FittedSize(this, QSize(std::max(632, FColumnWidths[0] + others + 20), 333)));
}

void TDownloadWindow::ShowForm() {
  setWindowTitle(Title());
  show();
  raise();
}

void TDownloadWindow::CloseForm() { hide(); }

void TDownloadWindow::BringToFront() {
  if (!isVisible()) return;
  raise();
  activateWindow();
}

void TDownloadWindow::ControlsChanged() {
  FSyncing = true;
  setWindowTitle(Title());
  SkipBtn->setEnabled(Runner.SkipBtnEnabled);
  CancelBtn->setEnabled(Runner.CancelBtnEnabled);
  LocRefsChk->setChecked(Runner.LocRefsChk);
  AutoDisChk->setChecked(Runner.AutoDisChk);
  // A range of at least one, or the bar would run as a busy indicator.
  JobProgress->setRange(0, std::max(1, Runner.ItemsQueued));
  JobProgress->setValue(std::min(Runner.ItemsDone, JobProgress->maximum()));
  JobProgress->setFormat(ProgressText());
  for (int i = 0; i < 3; ++i) {
    const QString text = QString::fromStdString(Runner.Panels[i]);
    if (Panels[i]->text() == text) continue;
    Panels[i]->setText(text);
    // A panel is its designed width, or as wide as its text needs with a
    // little room beside it: the window widens rather than cut a text off.
    const QFontMetrics fm = Panels[i]->fontMetrics();
    const int room = fm.horizontalAdvance(text) + 2 * fm.averageCharWidth();
    Panels[i]->setMinimumWidth(std::max(kPanelWidths[i], room));
  }
  FSyncing = false;
}

QString TDownloadWindow::ProgressText() const {
  return QString("%1 of %2 done").arg(Runner.ItemsDone).arg(Runner.ItemsQueued);
}

QString TDownloadWindow::Title() const {
  // The caption carries the progress too, for a window kept out of sight.
  const QString caption = QString::fromStdString(Runner.Caption);
  return Runner.ItemsQueued > 0 ? caption + " " + ProgressText() : caption;
}

void TDownloadWindow::GridChanged() {
  // Row 0 of both is the heading row.
  const int rows = static_cast<int>(Runner.Grid.size());
  Grid1->SetRowCount(rows);
  for (int r = 1; r < rows; ++r)
    for (int c = 0; c < 6; ++c) {
      const std::string& text = Runner.Grid[static_cast<size_t>(r)][static_cast<size_t>(c)];
      if (Grid1->Cells(c, r) != text) Grid1->SetCell(c, r, text);
    }
}

std::string TDownloadWindow::FitStatusURL(const std::string& text) {
  const QFontMetrics metrics = Grid1->fontMetrics();
  const TTextWidth measure = [&metrics](std::string_view s) {
    return metrics.horizontalAdvance(QString::fromUtf8(s.data(), static_cast<int>(s.size())));
  };
  return FitTextToWidth(measure, text, Grid1->columnWidth(0) - 6, 3);
}

void TDownloadWindow::closeEvent(QCloseEvent* e) {
  if (!Runner.FormCloseQuery()) {
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

bool TDownloadWindow::eventFilter(QObject* o, QEvent* e) {
  // A press a control ignores (a check box's right button) travels on to the
  // form; the control pressed is the first to see it.
  if (e->type() == QEvent::MouseButtonPress) {
    const auto* me = static_cast<QMouseEvent*>(e);
    if (me->timestamp() != FLastPressStamp || !HelpSender)
      HelpMouseDown(o == Grid1->viewport() ? Grid1 : static_cast<QWidget*>(o));
    FLastPressStamp = me->timestamp();
  }
  return QDialog::eventFilter(o, e);
}

void TDownloadWindow::contextMenuEvent(QContextMenuEvent* e) { HelpMenu->popup(e->globalPos()); }

void TDownloadWindow::Help1Click() {
  if (ShowControlHelp) ShowControlHelp(HelpSender ? HelpSender : this);
}

void TDownloadWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Grid1->setColumnWidth(0, std::max(40, TDownloadFrm::Column0Width(Grid1->width(), FColumnWidths)));
}

}  // namespace qv
