#include "ui/controls/stringatrgrid.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "model/strutils.h"
#include "model/syshelpers.h"
#include "ui/controls/clipboardlist.h"
#include "ui/controls/qtext.h"

namespace qv {

TAtrGridModel::TAtrGridModel(TStringAtrGrid* grid) : TGridModel(grid), Grid(grid) {}

int TAtrGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Grid->Count() + 1;
}

int TAtrGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Grid->ColCount();
}

QVariant TAtrGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  return Grid->CellData(index.column(), index.row() + 1, role);
}

bool TAtrGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  Grid->SetEditText(index.column(), index.row() + 1, FromQ(value.toString()));
  return true;
}

Qt::ItemFlags TAtrGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.isValid() && Grid->CellEditable(index.column(), index.row() + 1))
    f |= Qt::ItemIsEditable;
  return f;
}

QVariant TAtrGridModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const auto& h = Grid->Headings();
  if (section >= 0 && section < static_cast<int>(h.size())) return ToQ(h[section]);
  return QString();
}

void TAtrGridModel::Changed() {
  const int rows = rowCount(), cols = columnCount();
  if (rows > 0 && cols > 0) emit dataChanged(index(0, 0), index(rows - 1, cols - 1));
}

void TAtrGridModel::HeadingsChanged(int cols) {
  if (cols > 0) emit headerDataChanged(Qt::Horizontal, 0, cols - 1);
}

TStringAtrGrid::TStringAtrGrid(QWidget* parent) : QTableView(parent) {
  Model_ = new TAtrGridModel(this);
  setModel(Model_);
  verticalHeader()->hide();
  horizontalHeader()->setStretchLastSection(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setWordWrap(false);
}

void TStringAtrGrid::SetRows(std::vector<TAtrRow> rows) {
  Model_->BeginReset();
  Items = std::move(rows);
  Model_->EndReset();
}

int TStringAtrGrid::AddRow(const std::string& text, uint32_t attr) {
  const int at = Count();
  Model_->BeginInsert(at, at);
  Items.push_back({text, attr});
  Model_->EndInsert();
  return at;
}

void TStringAtrGrid::SetRowText(int dataRow, const std::string& text) {
  Items.at(dataRow).Text = text;
  Model_->Changed();
}

void TStringAtrGrid::SetAttr(int dataRow, uint32_t attr) {
  Items.at(dataRow).Attr = attr;
  Model_->Changed();
}

void TStringAtrGrid::DeleteRow(int dataRow) {
  if (dataRow < 0 || dataRow >= Count()) return;
  Model_->BeginRemove(dataRow, dataRow);
  Items.erase(Items.begin() + dataRow);
  Model_->EndRemove();
}

void TStringAtrGrid::ClearRows() { SetRows({}); }

void TStringAtrGrid::Refresh() {
  Model_->Changed();
  viewport()->update();
}

void TStringAtrGrid::SetColCount(int n) {
  n = std::max(1, n);
  if (n == Cols) return;
  Model_->BeginReset();
  Cols = n;
  Model_->EndReset();
}

void TStringAtrGrid::ChangeScale(int M, int D) {
  if (M == D || D == 0) return;
  for (int c = 0; c < Cols; ++c) setColumnWidth(c, columnWidth(c) * M / D);
  QHeaderView* v = verticalHeader();
  v->setDefaultSectionSize(v->defaultSectionSize() * M / D);
}

void TStringAtrGrid::SetHeadings(const std::vector<std::string>& list) {
  Headings_ = list;
  if (static_cast<int>(list.size()) > Cols) SetColCount(static_cast<int>(list.size()));
  Model_->HeadingsChanged(Cols);
  Refresh();
}

int TStringAtrGrid::CurrentGridRow() const {
  const QModelIndex c = currentIndex();
  return c.isValid() ? c.row() + 1 : Count() + 1;
}

int TStringAtrGrid::CurrentCol() const {
  const QModelIndex c = currentIndex();
  return c.isValid() ? c.column() : 0;
}

int TStringAtrGrid::GetItemIndex() const {
  const int r = CurrentGridRow();
  return r > Count() ? -1 : r - 1;
}

void TStringAtrGrid::SetItemIndex(int index) {
  if (index < 0 || index > Count()) index = Count();
  setCurrentIndex(Model_->index(index, CurrentCol()));
}

void TStringAtrGrid::SelectionRange(int& top, int& bottom) const {
  top = bottom = CurrentGridRow();
  const QModelIndexList sel = selectionModel()->selectedIndexes();
  if (sel.isEmpty()) return;
  top = bottom = sel.front().row() + 1;
  for (const QModelIndex& i : sel) {
    top = std::min(top, i.row() + 1);
    bottom = std::max(bottom, i.row() + 1);
  }
}

QVariant TStringAtrGrid::CellData(int col, int gridRow, int role) const {
  if (role == Qt::DisplayRole) {
    if (!IsDataRow(gridRow)) return QString();
    if (OnGetCellText) return ToQ(OnGetCellText(col, gridRow - 1));
    return col == 0 ? ToQ(Items[gridRow - 1].Text) : QString();
  }
  if (role == Qt::EditRole) {
    // Editing the first column starts from the row's text.
    if (col == 0 && IsDataRow(gridRow)) return ToQ(Items[gridRow - 1].Text);
    return QString();
  }
  return {};
}

bool TStringAtrGrid::CellEditable(int col, int gridRow) const {
  return OnCanEdit ? OnCanEdit(col, gridRow) : true;
}

void TStringAtrGrid::SetEditText(int col, int gridRow, const std::string& value) {
  EditCol = col;
  EditRow = gridRow;
  EditText = value.substr(0, value.find_first_of("\r\n"));
  ScheduleFlush();
}

void TStringAtrGrid::ScheduleFlush() {
  if (FlushQueued) return;
  FlushQueued = true;
  // Delivered once the editor has closed, so the owner may add, delete or
  // sort rows from its handler without pulling the model from under the view.
  QTimer::singleShot(0, this, [this] {
    FlushQueued = false;
    FlushEditText();
  });
}

void TStringAtrGrid::FlushEditText() {
  if (EditCol < 0 || EditRow < 0) return;
  // Take the edit first: a handler that repaints or opens a message box
  // re-enters here and must find nothing pending.
  const int col = EditCol, row = EditRow;
  const std::string text = std::move(EditText);
  EditCol = EditRow = -1;
  EditText.clear();
  if (!OnEdited) return;
  if (IsDataRow(row) && Items[row - 1].Text == text) return;
  OnEdited(this, col, row, text);
  Refresh();
}

const std::vector<std::string>& TStringAtrGrid::GetSelStrings(const TConvert& Convert) {
  SelStrings.clear();
  int top, bottom;
  SelectionRange(top, bottom);
  for (int r = top; r <= bottom && IsDataRow(r); ++r) {
    std::string s = Items[r - 1].Text;
    if (Convert) s = Convert(s);
    if (!s.empty()) SelStrings.push_back(s);
  }
  return SelStrings;
}

namespace {

// The grid's rows as the shared edit-box helpers see a list.
struct TRowsView {
  TStringAtrGrid* G;
  int Count() const { return G->Count(); }
  std::string operator[](int i) const { return G->Text(i); }
  int IndexOf(std::string_view s) const {
    TStringList texts;
    for (const auto& r : G->Rows()) texts.Add(r.Text);
    return texts.IndexOf(s);
  }
  void Add(const std::string& s) { G->AddRow(s); }
  void Delete(int i) { G->DeleteRow(i); }
};

}  // namespace

void TStringAtrGrid::AddFromEdit(QLineEdit* edit) {
  TRowsView rows{this};
  TQtTextBox<QLineEdit> box{edit};
  EditTextToList(box, rows);
  Refresh();
}

void TStringAtrGrid::ItemToEdit(QLineEdit* edit) {
  TRowsView rows{this};
  TQtTextBox<QLineEdit> box{edit};
  ListItemToEdit(rows, box, GetItemIndex());
  Refresh();
}

void TStringAtrGrid::CopySelected() {
  int top, bottom;
  SelectionRange(top, bottom);
  std::vector<std::string> lines;
  for (int r = top; r <= bottom && IsDataRow(r); ++r) lines.push_back(Items[r - 1].Text);
  CopyLinesToClipboard(lines);
}

void TStringAtrGrid::PasteText(const std::string& removeChars) {
  std::vector<std::string> texts;
  for (const auto& r : Items) texts.push_back(r.Text);
  const std::vector<std::string> lines = NewClipboardLines(texts, removeChars);
  if (lines.empty()) return;
  for (const auto& line : lines) AddRow(line);
  Refresh();
}

bool TStringAtrGrid::DeleteSelected() {
  if (EditorOpen()) return false;
  int top, bottom;
  SelectionRange(top, bottom);
  for (int n = bottom - top + 1; n > 0 && IsDataRow(top); --n) DeleteRow(top - 1);
  clearSelection();
  SetItemIndex(top - 1);
  Refresh();
  return true;
}

bool TStringAtrGrid::CutCopyPaste(int key, Qt::KeyboardModifiers shift,
                                  const std::string& removeChars) {
  return ActOnClipboardKey(*this, key, shift, removeChars, GetItemIndex() >= 0 && Count() != 0);
}

void TStringAtrGrid::keyPressEvent(QKeyEvent* e) {
  if (OnKeyDown && OnKeyDown(this, e->key(), e->modifiers())) {
    e->accept();
    return;
  }
  QTableView::keyPressEvent(e);
}

void TStringAtrGrid::mousePressEvent(QMouseEvent* e) {
  FlushEditText();
  QTableView::mousePressEvent(e);
}

}  // namespace qv
