#include "ui/controls/passwordgrid.h"

#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTimer>

#include "model/textlines.h"
#include "ui/controls/qtext.h"

namespace qv {

namespace {

class TMaskingDelegate : public QStyledItemDelegate {
 public:
  explicit TMaskingDelegate(TPassWordGrid* grid) : QStyledItemDelegate(grid), Grid(grid) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* e = qobject_cast<QLineEdit*>(w); e && index.column() == Grid->PWCol)
      e->setEchoMode(QLineEdit::Password);
    return w;
  }

 private:
  TPassWordGrid* Grid;
};

}  // namespace

TPassWordGrid::TPassWordGrid(QWidget* parent)
    : TScaledStringGrid(parent), Target(&GlobalPassWords()) {
  SetColCount(3);
  SetRowCount(2);
  setItemDelegate(new TMaskingDelegate(this));
  auto changed = [this] { Changed(); };
  connect(Model(), &QAbstractItemModel::dataChanged, this, changed);
  connect(Model(), &QAbstractItemModel::rowsInserted, this, changed);
  connect(Model(), &QAbstractItemModel::rowsRemoved, this, changed);
  connect(Model(), &QAbstractItemModel::rowsMoved, this, changed);
  connect(Model(), &QAbstractItemModel::modelReset, this, changed);
}

void TPassWordGrid::SetPublishTarget(TPublished<TPassWordList>* target) {
  Target = target ? target : &GlobalPassWords();
  Changed();
}

void TPassWordGrid::Changed() {
  if (InChange) return;
  InChange = true;
  // An entry row that received text stops being the entry row.
  const int last = RowCount() - 1;
  if (last >= 1) {
    bool any = false;
    for (int c = 0; c < ColCount(); ++c) any = any || !Cells(c, last).empty();
    if (any) SetRowCount(RowCount() + 1);
  }
  std::vector<TPassWordRow> rows;
  for (int r = 1; r <= RowCount() - 2; ++r) {
    TPassWordRow p;
    p.URL = Cells(0, r);
    if (ColCount() > 1) p.UserID = Cells(1, r);
    if (ColCount() > 2) p.PW = Cells(2, r);
    rows.push_back(std::move(p));
  }
  Target->Publish(TPassWordList(std::move(rows)));
  InChange = false;
}

void TPassWordGrid::SetHeadings(const std::vector<std::string>& list) {
  for (int c = 0; c < ColCount(); ++c)
    SetCell(c, 0, c < static_cast<int>(list.size()) ? list[c] : std::string());
}

std::vector<std::string> TPassWordGrid::GetHeadings() const {
  std::vector<std::string> h;
  for (int c = 0; c < ColCount(); ++c) h.push_back(Cells(c, 0));
  return h;
}

void TPassWordGrid::SetText(const std::string& text) {
  const std::vector<std::string> lines = TextToLines(text);
  const int n = static_cast<int>(lines.size());
  const int rows = (n - 1) / ColCount() + 2;  // truncates toward zero: 0 lines give 2
  InChange = true;
  Model()->BeginReset();
  CellRows.resize(1);
  CellRows.resize(rows, std::vector<std::string>(ColCount()));
  size_t k = 0;
  for (int r = 1; r < rows; ++r)
    for (int c = 0; c < ColCount(); ++c) {
      CellRows[r][c] = k < lines.size() ? lines[k] : std::string();
      ++k;
    }
  Model()->EndReset();
  InChange = false;
  Changed();
}

std::string TPassWordGrid::GetText() const {
  std::vector<std::string> lines;
  for (int r = 1; r < RowCount(); ++r)
    for (int c = 0; c < ColCount(); ++c) lines.push_back(Cells(c, r));
  return LinesToText(lines);
}

void TPassWordGrid::MoveRow(int from, int to) {
  if (from == to || from < 1 || to < 1 || from >= RowCount() || to >= RowCount()) return;
  const int m = from - 1, t = to - 1;
  if (!Model()->BeginMove(m, t > m ? t + 1 : t)) return;
  auto row = std::move(CellRows[from]);
  CellRows.erase(CellRows.begin() + from);
  CellRows.insert(CellRows.begin() + to, std::move(row));
  Model()->EndMove();
}

void TPassWordGrid::SortRow(int row) {
  if (row < 1 || row > RowCount() - 2) return;
  const QString url = ToQ(Cells(0, row)).toLower();
  for (int r = 1; r <= RowCount() - 2; ++r) {
    if (r == row) continue;
    if (QString::localeAwareCompare(ToQ(Cells(0, r)).toLower(), url) > 0) {
      MoveRow(row, r > row ? r - 1 : r);
      return;
    }
  }
  if (RowCount() > 2) MoveRow(row, RowCount() - 2);
}

void TPassWordGrid::DeleteSelected() {
  if (EditorOpen()) return;
  const int cur = Row();
  if (cur < 1) return;
  InChange = true;
  for (int r = cur; r + 1 < RowCount(); ++r)
    for (int c = 0; c < ColCount(); ++c) SetCell(c, r, Cells(c, r + 1));
  const int last = RowCount() - 1;
  if (last > 1) SetRowCount(last);
  InChange = false;
  Changed();
}

QString TPassWordGrid::DisplayText(int col, int row) const {
  if (col == PWCol && row != 0)
    return QString(static_cast<qsizetype>(Cells(col, row).size()), QLatin1Char('*'));
  return TScaledStringGrid::DisplayText(col, row);
}

void TPassWordGrid::SetEditText(int col, int row, const std::string& value) {
  // One cell is one line of the stored text: a line break typed or pasted
  // into a cell would shift every later cell of the saved list.
  const std::string v = value.substr(0, value.find_first_of("\r\n"));
  EditCol = col;
  EditRow = row;
  EditText = v;
  SetCell(col, row, v);
  if (FlushQueued) return;
  FlushQueued = true;
  QTimer::singleShot(0, this, [this] {
    FlushQueued = false;
    FlushEditText();
  });
}

void TPassWordGrid::FlushEditText() {
  if (EditCol < 0 || EditRow < 0) return;
  const int col = EditCol, row = EditRow;
  const std::string text = std::move(EditText);
  EditCol = EditRow = -1;
  EditText.clear();
  if (OnEdited) OnEdited(this, col, row, text);
  viewport()->update();
}

}  // namespace qv
