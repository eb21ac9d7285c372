#include "ui/controls/scaledstringgrid.h"

#include <QHeaderView>

#include "ui/controls/qtext.h"

namespace qv {

TCellModel::TCellModel(TScaledStringGrid* grid) : TGridModel(grid), Grid(grid) {}

int TCellModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(0, Grid->RowCount() - 1);
}

int TCellModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Grid->ColCount();
}

QVariant TCellModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return Grid->DisplayText(index.column(), index.row() + 1);
  if (role == Qt::EditRole) return ToQ(Grid->Cells(index.column(), index.row() + 1));
  return {};
}

bool TCellModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  Grid->SetEditText(index.column(), index.row() + 1, FromQ(value.toString()));
  return true;
}

Qt::ItemFlags TCellModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.isValid() && Grid->CellEditable(index.column(), index.row() + 1))
    f |= Qt::ItemIsEditable;
  return f;
}

QVariant TCellModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (Grid->RowCount() == 0 || section < 0 || section >= Grid->ColCount()) return QString();
  return ToQ(Grid->Cells(section, 0));
}

void TCellModel::CellChanged(int col, int row) {
  if (row == 0) {
    emit headerDataChanged(Qt::Horizontal, col, col);
    return;
  }
  const QModelIndex i = index(row - 1, col);
  emit dataChanged(i, i);
}

void TCellModel::AllChanged() {
  emit headerDataChanged(Qt::Horizontal, 0, std::max(0, Grid->ColCount() - 1));
  if (rowCount() > 0 && columnCount() > 0)
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

TScaledStringGrid::TScaledStringGrid(QWidget* parent) : QTableView(parent) {
  CellRows.assign(5, std::vector<std::string>(Cols));
  Model_ = new TCellModel(this);
  setModel(Model_);
  verticalHeader()->hide();
  setWordWrap(false);
}

void TScaledStringGrid::SetRowCount(int n) {
  n = std::max(1, n);
  const int old = RowCount();
  if (n == old) return;
  if (n > old) {
    Model_->BeginInsert(old - 1, n - 2);
    CellRows.resize(n, std::vector<std::string>(Cols));
    Model_->EndInsert();
  } else {
    Model_->BeginRemove(n - 1, old - 2);
    CellRows.resize(n);
    Model_->EndRemove();
  }
}

void TScaledStringGrid::SetColCount(int n) {
  n = std::max(1, n);
  if (n == Cols) return;
  Model_->BeginReset();
  Cols = n;
  for (auto& r : CellRows) r.resize(Cols);
  Model_->EndReset();
}

const std::string& TScaledStringGrid::Cells(int col, int row) const {
  return CellRows.at(row).at(col);
}

void TScaledStringGrid::SetCell(int col, int row, const std::string& text) {
  CellRows.at(row).at(col) = text;
  Model_->CellChanged(col, row);
}

int TScaledStringGrid::Row() const {
  const QModelIndex c = currentIndex();
  return c.isValid() ? c.row() + 1 : -1;
}

int TScaledStringGrid::Col() const {
  const QModelIndex c = currentIndex();
  return c.isValid() ? c.column() : -1;
}

void TScaledStringGrid::SetCurrent(int col, int row) {
  setCurrentIndex(Model_->index(row - 1, col));
}

QString TScaledStringGrid::DisplayText(int col, int row) const { return ToQ(Cells(col, row)); }

void TScaledStringGrid::SetEditText(int col, int row, const std::string& value) {
  SetCell(col, row, value);
}

void TScaledStringGrid::ChangeScale(int M, int D) {
  if (M == D || D == 0) return;
  for (int c = 0; c < Cols; ++c) setColumnWidth(c, columnWidth(c) * M / D);
  QHeaderView* v = verticalHeader();
  v->setDefaultSectionSize(v->defaultSectionSize() * M / D);
}

}  // namespace qv
