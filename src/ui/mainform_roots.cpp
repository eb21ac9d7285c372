// The root URL grid of the "Retrieve" page: what a row holds, how it is
// drawn, and every way the user edits it.
#include <algorithm>
#include <optional>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include "engine/downloadform.h"
#include "model/atrrow.h"
#include "model/dropbytes.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "ui/appwindows.h"
#include "ui/controls/qtext.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/textout.h"
#include "ui/downloadwindow.h"
#include "ui/mainform.h"

namespace qv {

namespace {

// Blank and tab are left out of pasted rows.
inline constexpr char kPasteIgnored[] = " \t";

// Column 0: the URL fitted to the cell with its middle cut.
class TRootURLDelegate : public QStyledItemDelegate {
 public:
  TRootURLDelegate(TStringAtrGrid* grid) : QStyledItemDelegate(grid), Grid(grid) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const int row = index.row();
    if (row >= Grid->Count()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    painter->setPen(selected ? option.palette.highlightedText().color()
                             : option.palette.text().color());
    painter->setFont(option.font);
    const QFontMetrics m(option.font);
    TextOutFitted(*painter, option.rect.left() + 2,
                  option.rect.top() + (option.rect.height() - m.height()) / 2, Grid->Text(row),
                  option.rect.width() - 4, 3);
    painter->restore();
  }

 private:
  TStringAtrGrid* Grid;
};

}  // namespace

std::string RootURLLevelsLabel(uint32_t attr) {
  const int scope = AttrByte(attr, 0);
  const std::string levels = std::to_string(AttrByte(attr, 1));
  switch (scope) {
    case 0:
      return "Page+" + levels;
    case 1:
      return "Site | " + levels;
    case 2:
      return "Site+" + levels;
    case 3:
      return "None";
    default:
      return "";
  }
}

std::string NormaliseRootURLText(const std::string& typed) {
  std::string text = TrimBlanks(typed);
  if (text.empty()) return text;
  if (text.rfind("?-", 0) == 0) text.erase(0, 2);
  // https is fetched like http; other schemes stay listed but marked unusable.
  if (!IsFetchableURL(text)) text.insert(0, "?-");
  return text;
}

void TForm1::ConnectRootGrid() {
  Grid1->setItemDelegateForColumn(0, new TRootURLDelegate(Grid1));
  // A double-click opens the root; the URL is edited by typing or F2.
  Grid1->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  Grid1->OnGetCellText = [this](int col, int dataRow) {
    return col == 1 ? RootURLLevelsLabel(Grid1->Attr(dataRow)) : Grid1->Text(dataRow);
  };
  Grid1->OnCanEdit = [this](int col, int) { return col == 0 && Grid1KeyPress(); };
  Grid1->OnEdited = [this](TStringAtrGrid*, int col, int gridRow, const std::string& text) {
    Grid1Edited(col, gridRow, text);
  };
  Grid1->OnKeyDown = [this](TStringAtrGrid*, int key, Qt::KeyboardModifiers shift) {
    return RootURLsKeyDown(key, shift);
  };
  connect(Grid1, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& at) { RootURLsDblClick(at.column()); });
}

void TForm1::WriteRootEditsToSession() {
  // The grid is the rows' editor; the session holds them. Each change the
  // grid announces is written there at once, the touched rows only, so a
  // paste of many lines costs what its lines cost.
  TAtrGridModel* model = Grid1->Model();
  auto rows = [this]() -> std::vector<TAtrRow>& { return Session().RootURLs(); };
  auto whole = [this, rows] { rows() = Grid1->Rows(); };
  connect(model, &QAbstractItemModel::modelReset, this, whole);
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this, rows, whole](const QModelIndex&, int first, int last) {
            std::vector<TAtrRow>& kept = rows();
            const std::vector<TAtrRow>& shown = Grid1->Rows();
            if (first < 0 || last >= static_cast<int>(shown.size()) ||
                first > static_cast<int>(kept.size()) ||
                kept.size() + static_cast<size_t>(last - first + 1) != shown.size())
              return whole();
            kept.insert(kept.begin() + first, shown.begin() + first, shown.begin() + last + 1);
          });
  connect(model, &QAbstractItemModel::rowsRemoved, this,
          [this, rows, whole](const QModelIndex&, int first, int last) {
            std::vector<TAtrRow>& kept = rows();
            if (first < 0 || last >= static_cast<int>(kept.size()) ||
                kept.size() - static_cast<size_t>(last - first + 1) != Grid1->Rows().size())
              return whole();
            kept.erase(kept.begin() + first, kept.begin() + last + 1);
          });
  connect(model, &QAbstractItemModel::dataChanged, this,
          [this, rows, whole](const QModelIndex& from, const QModelIndex& to) {
            std::vector<TAtrRow>& kept = rows();
            const std::vector<TAtrRow>& shown = Grid1->Rows();
            if (kept.size() != shown.size()) return whole();
            const int last = std::min(to.row(), static_cast<int>(shown.size()) - 1);
            for (int r = std::max(from.row(), 0); r <= last; ++r)
              kept[static_cast<size_t>(r)] = shown[static_cast<size_t>(r)];
          });
  whole();
}

void TForm1::SetRootURLAttributes(int row, int scope, int levels) {
  if (row < 0 || row >= Grid1->Count()) return;
  uint32_t attr = Grid1->Attr(row);
  attr = WithAttrByte(attr, 0, static_cast<uint8_t>(scope));
  attr = WithAttrByte(attr, 1, static_cast<uint8_t>(levels));
  Grid1->SetAttr(row, attr);
  Grid1->Refresh();
}

std::string TForm1::Grid1GetEditText(int col, int dataRow) {
  if (col != 0 || dataRow < 0 || dataRow >= Grid1->Count()) return "";
  return Grid1->Text(dataRow);
}

void TForm1::Grid1Edited(int col, int gridRow, const std::string& typed) {
  if (col != 0) return;
  if (!Session().ValidateLocalWebDir()) return;
  SetModified();
  const std::string text = NormaliseRootURLText(typed);
  if (text.empty()) return;
  for (const TAtrRow& r : Grid1->Rows()) {
    if (r.Text == text) {
      Grid1->Refresh();
      return;
    }
  }
  const int row = gridRow - 1;
  if (row >= 0 && row < Grid1->Count()) {
    if (text == "?-/")
      Grid1->DeleteRow(row);
    else
      Grid1->SetRowText(row, text);
  } else if (text != "?-/") {
    Grid1->AddRow(text, 0);
  }
  Grid1->Refresh();
}

void TForm1::StepRootScope() {
  const int row = Grid1->GetItemIndex();
  if (row < 0) return;
  const uint32_t attr = Grid1->Attr(row);
  Grid1->SetAttr(row, WithAttrByte(attr, 0, static_cast<uint8_t>((AttrByte(attr, 0) + 1) % 4)));
  Grid1->Refresh();
}

void TForm1::RootURLsDblClick(int col) {
  CancelHDrop();
  SetModified();
  if (col == 0) {
    if (RootOpenCommand) RootOpenCommand();
  } else if (col == 1) {
    StepRootScope();
  }
}

bool TForm1::RootURLsKeyDown(int key, Qt::KeyboardModifiers shift) {
  SetModified();
  const bool ctrl = shift & Qt::ControlModifier;
  const int row = Grid1->GetItemIndex();
  // Digits of the main keyboard set the levels; the keypad's carry their
  // own modifier and are left alone.
  if (key >= Qt::Key_0 && key <= Qt::Key_9 && !(shift & Qt::KeypadModifier) && row >= 0) {
    const char digit = static_cast<char>('0' + (key - Qt::Key_0));
    const uint32_t attr = Grid1->Attr(row);
    int levels = digit - '0';
    if (ctrl) {
      const std::string s = (std::to_string(AttrByte(attr, 1)) + digit).substr(0, 2);
      levels = std::stoi(s);
    }
    SetRootURLAttributes(row, AttrByte(attr, 0), levels);
    // The digit is taken: it must not start an edit of the URL.
    return true;
  }
  switch (key) {
    case Qt::Key_Space:
      if (Grid1->CurrentCol() == 1 && !Grid1->EditorOpen()) {
        StepRootScope();
        return true;
      }
      return false;
    case Qt::Key_Down:
      Grid1->FlushEditText();
      QCoreApplication::processEvents();
      return false;
    case Qt::Key_Insert:
      if (ctrl) return Grid1->CutCopyPaste(key, shift, kPasteIgnored);
      if (shift & Qt::ShiftModifier) {
        PasteRootURLs();
        return true;
      }
      return false;
    case Qt::Key_Delete:
      if (Grid1->EditorOpen()) return false;
      if (RootDeleteCommand) RootDeleteCommand();
      Grid1->Refresh();
      return true;
    case Qt::Key_V:
      if (!ctrl) return false;
      PasteRootURLs();
      return true;
    default:
      return Grid1->CutCopyPaste(key, shift, kPasteIgnored);
  }
}

bool TForm1::Grid1KeyPress() {
  if (ExtractionRunning) return !ExtractionRunning();
  return !(DownloadFrm && DownloadFrm->Visible && DownloadFrm->JobKind == 1);
}

void TForm1::PasteRootURLs() {
  TStringList list;
  for (const TAtrRow& r : Grid1->Rows()) list.Add(r.Text, r.Attr);
  PasteURLs(list, []() -> std::optional<std::string> {
    const QClipboard* cb = QGuiApplication::clipboard();
    if (!cb) return std::nullopt;
    const QString text = cb->text();
    if (text.isEmpty()) return std::nullopt;
    return BoundText(ExternalFromQ(text));
  });
  std::vector<TAtrRow> rows;
  rows.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) rows.push_back({list[i], list.Object(i)});
  if (rows.size() != Grid1->Rows().size()) Grid1->SetRows(std::move(rows));
  Grid1->Refresh();
}

}  // namespace qv
