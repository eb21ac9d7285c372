#include "ui/controls/filtergrid.h"

#include <algorithm>

#include <QKeyEvent>
#include <QListWidget>
#include <QToolButton>

#include "ui/controls/qtext.h"

namespace qv {

namespace {
constexpr int kGlyphWidth = 8;
}

TFilterGrid::TFilterGrid(QWidget* parent) : TStringAtrGrid(parent) {
  DropList = new QListWidget(this);
  DropList->hide();
  DropList->resize(1, 1);
  DropList->setMouseTracking(true);
  DropList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DropList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DropList->installEventFilter(this);
  connect(DropList, &QListWidget::itemEntered, DropList,
          [this](QListWidgetItem* it) { DropList->setCurrentItem(it); });
  connect(DropList, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { SelListClick(); });

  DropButton = new QToolButton(viewport());
  DropButton->setArrowType(Qt::DownArrow);
  DropButton->setFocusPolicy(Qt::NoFocus);
  DropButton->setFixedWidth(2 * kGlyphWidth);
  DropButton->hide();
  connect(DropButton, &QToolButton::clicked, this, &TFilterGrid::BtnClick);
  SetColCount(2);
}

uint8_t TFilterGrid::GetByte(int row, int byte) const { return AttrByte(Attr(row), byte); }

void TFilterGrid::SetByte(int row, int byte, uint8_t value) {
  SetAttr(row, WithAttrByte(Attr(row), byte, value));
}

void TFilterGrid::SetSelList(const std::vector<std::string>& list) {
  SelList = list;
  DropList->clear();
  DropList->addItems(ToQList(list));
  SizePending = true;
  Refresh();
}

QVariant TFilterGrid::CellData(int col, int gridRow, int role) const {
  if (col == 1 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
    if (role == Qt::EditRole || !IsDataRow(gridRow)) return QString();
    // A stored choice the list does not hold shows nothing but is kept.
    const uint8_t c = GetByte0(gridRow - 1);
    return c < SelList.size() ? ToQ(SelList[c]) : QString();
  }
  return TStringAtrGrid::CellData(col, gridRow, role);
}

bool TFilterGrid::CellEditable(int col, int gridRow) const {
  return col != 1 && TStringAtrGrid::CellEditable(col, gridRow);
}

bool TFilterGrid::DropListShowing() const { return DropList->isVisible(); }

void TFilterGrid::PlaceDropButton() {
  if (!DropButton) return;
  const QModelIndex c = currentIndex();
  if (!c.isValid() || c.column() != 1) {
    DropButton->hide();
    return;
  }
  const QRect r = visualRect(c);
  if (r.isEmpty() || !viewport()->rect().intersects(r)) {
    DropButton->hide();
    return;
  }
  DropButton->setGeometry(r.right() + 1 - DropButton->width(), r.top(), DropButton->width(),
                          r.height());
  DropButton->show();
}

void TFilterGrid::BtnClick() {
  if (SizePending) {
    DropList->setParent(window());
    DropList->installEventFilter(this);
    int w = 0;
    for (const auto& s : SelList)
      w = std::max(w, DropList->fontMetrics().horizontalAdvance(ToQ(s)));
    const int itemH = SelList.empty() ? DropList->fontMetrics().height()
                                      : std::max(1, DropList->sizeHintForRow(0));
    const int frame = 2 * DropList->frameWidth();
    DropList->resize(w + 10 + frame, static_cast<int>(SelList.size()) * itemH + frame);
    SizePending = false;
  }
  if (DropList->isVisible()) {
    DropList->hide();
    return;
  }
  QWidget* host = DropList->parentWidget();
  const QRect b = DropButton->geometry();  // viewport coordinates
  const int x = b.right() + 1 - DropList->width();
  int y;
  const QPoint below = DropButton->parentWidget()->mapTo(host, QPoint(0, b.bottom() + 1));
  if (host && below.y() + DropList->height() < host->height())
    y = b.bottom() + 1;
  else
    y = b.top() - DropList->height();
  const QPoint at = host ? DropButton->parentWidget()->mapTo(host, QPoint(x, y)) : QPoint(x, y);
  DropList->move(at);
  const int row = GetItemIndex();
  const int choice = row >= 0 ? GetByte0(row) : -1;
  if (choice >= 0 && choice < DropList->count())
    DropList->setCurrentRow(choice);
  else
    DropList->setCurrentRow(-1);
  DropList->show();
  DropList->raise();
}

void TFilterGrid::SelListClick() {
  DropList->hide();
  const int row = GetItemIndex();
  const int pick = DropList->currentRow();
  if (row >= 0 && pick >= 0 && pick < static_cast<int>(SelList.size()) && pick != GetByte0(row)) {
    SetByte0(row, static_cast<uint8_t>(pick));
    if (OnEdited) OnEdited(this, CurrentCol(), CurrentGridRow(), SelList[pick]);
  }
  setFocus();
  Refresh();
}

void TFilterGrid::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (DropList->isVisible()) {
    const int cur = DropList->currentRow();
    if (enter) {
      SelListClick();
      return;
    }
    if (key == Qt::Key_Up && cur > 0) {
      DropList->setCurrentRow(cur - 1);
      return;
    }
    if (key == Qt::Key_Down && cur + 1 < DropList->count()) {
      DropList->setCurrentRow(cur + 1);
      return;
    }
  } else if (DropButton->isVisible() && enter) {
    BtnClick();
    return;
  }
  TStringAtrGrid::keyPressEvent(e);
}

bool TFilterGrid::eventFilter(QObject* o, QEvent* e) {
  if (o == DropList && e->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      SelListClick();
      return true;
    }
    if (key == Qt::Key_Escape) {
      DropList->hide();
      setFocus();
      return true;
    }
  }
  return TStringAtrGrid::eventFilter(o, e);
}

void TFilterGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  if (DropList) DropList->hide();
  TStringAtrGrid::currentChanged(current, previous);
  PlaceDropButton();
}

void TFilterGrid::resizeEvent(QResizeEvent* e) {
  TStringAtrGrid::resizeEvent(e);
  PlaceDropButton();
}

void TFilterGrid::scrollContentsBy(int dx, int dy) {
  TStringAtrGrid::scrollContentsBy(dx, dy);
  PlaceDropButton();
}

void TFilterGrid::updateGeometries() {
  TStringAtrGrid::updateGeometries();
  PlaceDropButton();
}

}  // namespace qv
