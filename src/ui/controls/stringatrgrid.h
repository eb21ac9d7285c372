#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QTableView>

#include "model/atrrow.h"
#include "ui/controls/gridmodel.h"

class QLineEdit;

namespace qv {

class TStringAtrGrid;

class TAtrGridModel : public TGridModel {
  Q_OBJECT
 public:
  explicit TAtrGridModel(TStringAtrGrid* grid);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  void Changed();
  void HeadingsChanged(int cols);

 private:
  TStringAtrGrid* Grid;
};

// A grid of text rows with a 32-bit attribute each, a headings row and one
// empty entry row at the bottom. Grid rows are numbered with the headings as
// row 0: grid row r (1..Count) is data row r-1 and row Count+1 is the entry
// row. The grid never changes its rows when the user edits a cell: a finished
// edit reaches the owner through OnEdited and the owner decides.
class TStringAtrGrid : public QTableView {
  Q_OBJECT
 public:
  using TEditedEvent =
      std::function<void(TStringAtrGrid* Sender, int Col, int Row, const std::string& Text)>;
  using TConvert = std::function<std::string(const std::string&)>;

  explicit TStringAtrGrid(QWidget* parent = nullptr);

  // Rows.
  int Count() const { return static_cast<int>(Items.size()); }
  const std::vector<TAtrRow>& Rows() const { return Items; }
  const std::string& Text(int dataRow) const { return Items.at(dataRow).Text; }
  uint32_t Attr(int dataRow) const { return Items.at(dataRow).Attr; }
  void SetRows(std::vector<TAtrRow> rows);
  int AddRow(const std::string& text, uint32_t attr = 0);
  void SetRowText(int dataRow, const std::string& text);
  void SetAttr(int dataRow, uint32_t attr);
  void DeleteRow(int dataRow);
  void ClearRows();
  // Repaints after the owner changed rows or attributes.
  void Refresh();

  int ColCount() const { return Cols; }
  void SetColCount(int n);
  const std::vector<std::string>& Headings() const { return Headings_; }
  void SetHeadings(const std::vector<std::string>& list);

  int GetItemIndex() const;
  void SetItemIndex(int index);
  void SetSelectedItem(int index) { SetItemIndex(index); }
  int CurrentGridRow() const;
  int CurrentCol() const;

  const std::vector<std::string>& GetSelStrings(const TConvert& Convert = {});
  void AddFromEdit(QLineEdit* edit);
  void ItemToEdit(QLineEdit* edit);
  void CopySelected();
  void PasteText(const std::string& removeChars);
  bool DeleteSelected();
  bool CutCopyPaste(int key, Qt::KeyboardModifiers shift, const std::string& removeChars);

  // Scales the column widths and row height when the form is scaled by M/D.
  void ChangeScale(int M, int D);

  // Delivers the pending edit, if any, to OnEdited.
  void FlushEditText();
  bool EditorOpen() const { return state() == QAbstractItemView::EditingState; }

  TEditedEvent OnEdited;
  // Owner drawing: the text a cell shows (data rows only); without it column
  // 0 shows the row text and other columns nothing.
  std::function<std::string(int Col, int DataRow)> OnGetCellText;
  // Owner key handling, run before the grid's own; true swallows the key.
  std::function<bool(TStringAtrGrid* Sender, int Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
  // Whether a cell may be typed into; without it every cell may.
  std::function<bool(int Col, int Row)> OnCanEdit;

  // Model hooks for subclasses and the model.
  virtual QVariant CellData(int col, int gridRow, int role) const;
  virtual bool CellEditable(int col, int gridRow) const;
  virtual void SetEditText(int col, int gridRow, const std::string& value);

  TAtrGridModel* Model() const { return Model_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  bool IsDataRow(int gridRow) const { return gridRow >= 1 && gridRow <= Count(); }
  void SelectionRange(int& top, int& bottom) const;  // grid rows

  std::vector<TAtrRow> Items;

 private:
  void ScheduleFlush();

  TAtrGridModel* Model_;
  std::vector<std::string> Headings_;
  std::vector<std::string> SelStrings;
  int Cols = 1;
  int EditCol = -1;
  int EditRow = -1;
  std::string EditText;
  bool FlushQueued = false;
};

}  // namespace qv
