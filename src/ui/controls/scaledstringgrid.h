#pragma once

#include <string>
#include <vector>

#include <QTableView>

#include "ui/controls/gridmodel.h"

namespace qv {

class TScaledStringGrid;

class TCellModel : public TGridModel {
  Q_OBJECT
 public:
  explicit TCellModel(TScaledStringGrid* grid);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  bool BeginMove(int from, int dest) { return beginMoveRows({}, from, from, {}, dest); }
  void EndMove() { endMoveRows(); }
  void CellChanged(int col, int row);
  void AllChanged();

 private:
  TScaledStringGrid* Grid;
};

// A grid of text cells addressed as Cells(col, row); row 0 is the fixed
// headings row, shown as the header. ChangeScale scales the column widths and
// the row height with the form's scaling.
class TScaledStringGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TScaledStringGrid(QWidget* parent = nullptr);

  int RowCount() const { return static_cast<int>(CellRows.size()); }
  void SetRowCount(int n);
  int ColCount() const { return Cols; }
  void SetColCount(int n);
  const std::string& Cells(int col, int row) const;
  void SetCell(int col, int row, const std::string& text);
  // The row shown with the current cell (1 for the first row under the
  // headings), or -1 when there is none.
  int Row() const;
  int Col() const;
  void SetCurrent(int col, int row);

  void ChangeScale(int M, int D);

  // Display text of a cell; subclasses mask or decorate it.
  virtual QString DisplayText(int col, int row) const;
  // Stores an edited value; the default writes the cell.
  virtual void SetEditText(int col, int row, const std::string& value);
  virtual bool CellEditable(int col, int row) const { return true; }

  TCellModel* Model() const { return Model_; }

 protected:
  std::vector<std::vector<std::string>> CellRows;  // row 0 is the headings

 private:
  TCellModel* Model_;
  int Cols = 5;
};

}  // namespace qv
