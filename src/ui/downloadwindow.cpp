#include "ui/downloadwindow.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/textfit.h"
#include "ui/controls/fontfit.h"

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
  Grid1 = new QTableWidget(1, 6, this);
  Grid1->setProperty("HelpContext", 80);
  Grid1->verticalHeader()->hide();
  Grid1->verticalHeader()->setDefaultSectionSize(16);
  Grid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid1->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QStringList headings;
  for (int c = 0; c < 6; ++c) headings << TDownloadFrm::kHeadings[c];
  Grid1->setHorizontalHeaderLabels(headings);
  // The designed widths hold a line of 16 pixels; they grow with a taller
  // font, as the grid's row does, and further where a heading needs more.
  // The status column also holds "Receiving", what a thread shows for most
  // of a download.
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
  FColumnWidths[3] = std::max(FColumnWidths[3], cells.horizontalAdvance("Receiving") + cellMargins);
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

  connect(SkipBtn, &QPushButton::clicked, this, [this] {
    Runner.SelectedRow = Grid1->currentRow() + 1;
    Runner.SkipBtnClick();
  });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { Runner.AbortBtnClick(); });
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
  setWindowTitle(QString::fromStdString(Runner.Caption));
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
  setWindowTitle(QString::fromStdString(Runner.Caption));
  SkipBtn->setEnabled(Runner.SkipBtnEnabled);
  CancelBtn->setEnabled(Runner.CancelBtnEnabled);
  LocRefsChk->setChecked(Runner.LocRefsChk);
  AutoDisChk->setChecked(Runner.AutoDisChk);
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

void TDownloadWindow::GridChanged() {
  // Row 0 of the runner's grid is the heading row; the table has its own.
  const int rows = static_cast<int>(Runner.Grid.size()) - 1;
  if (Grid1->rowCount() != rows) Grid1->setRowCount(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 6; ++c) {
      const QString text = QString::fromStdString(Runner.Grid[static_cast<size_t>(r) + 1][c]);
      QTableWidgetItem* item = Grid1->item(r, c);
      if (!item) {
        Grid1->setItem(r, c, new QTableWidgetItem(text));
      } else if (item->text() != text) {
        item->setText(text);
      }
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

void TDownloadWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  Grid1->setColumnWidth(0, std::max(40, TDownloadFrm::Column0Width(Grid1->width(), FColumnWidths)));
}

}  // namespace qv
