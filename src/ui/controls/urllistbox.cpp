#include "ui/controls/urllistbox.h"

#include <algorithm>
#include <cstring>

#include <QApplication>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "model/dropbytes.h"
#include "model/textfit.h"
#include "ui/controls/qtext.h"

namespace qv {

// ---- TURLListModel ----------------------------------------------------------

TURLListModel::TURLListModel(QObject* parent) : QAbstractListModel(parent) {}

int TURLListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Shown;
}

QVariant TURLListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Shown) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return ExternalToQ(std::string(Line(index.row())));
    case Qt::CheckStateRole:
      return Marks[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool TURLListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= Shown) return false;
  const bool on = value.toInt() == Qt::Checked;
  SetChecked(index.row(), on);
  if (OnUserCheck) OnUserCheck(index.row(), on);
  return true;
}

Qt::ItemFlags TURLListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
}

std::string_view TURLListModel::Line(int i) const {
  if (i < 0 || i >= Count()) return {};
  const size_t begin = i == 0 ? 0 : Ends[static_cast<size_t>(i) - 1];
  return std::string_view(Text).substr(begin, Ends[static_cast<size_t>(i)] - begin);
}

bool TURLListModel::Checked(int i) const {
  return i >= 0 && i < Count() && Marks[static_cast<size_t>(i)] != 0;
}

void TURLListModel::SetChecked(int i, bool on) {
  if (i < 0 || i >= Count()) return;
  if ((Marks[static_cast<size_t>(i)] != 0) == on) return;
  Marks[static_cast<size_t>(i)] = on ? 1 : 0;
  if (i >= Shown) return;
  const QModelIndex at = index(i);
  emit dataChanged(at, at, {Qt::CheckStateRole});
}

std::uint32_t TURLListModel::Hash(std::string_view s) {
  // Eight bytes a step, each mixed by one multiply: URLs share long
  // prefixes, and a byte-wise hash spent more time than the table itself.
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = s.size() * kMul;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  if (i < s.size()) {
    std::uint64_t w = 0;
    std::memcpy(&w, s.data() + i, s.size() - i);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  h *= kMul;
  return static_cast<std::uint32_t>(h >> 32);
}

int TURLListModel::Find(std::string_view url, std::uint32_t hash) const {
  if (Slots.empty()) return -1;
  const size_t mask = Slots.size() - 1;
  for (size_t s = hash & mask;; s = (s + 1) & mask) {
    const std::uint64_t v = Slots[s];
    if (v == 0) return -1;
    if (SlotHash(v) == hash && Line(SlotLine(v)) == url) return SlotLine(v);
  }
}

void TURLListModel::Place(std::uint32_t line, std::uint32_t hash) {
  const size_t mask = Slots.size() - 1;
  size_t s = hash & mask;
  while (Slots[s] != 0) s = (s + 1) & mask;
  Slots[s] = (static_cast<std::uint64_t>(hash) << 32) | (line + 1);
}

void TURLListModel::Rehash(size_t count, int removed) {
  std::vector<std::uint64_t> old(count, 0);
  old.swap(Slots);
  for (const std::uint64_t v : old) {
    if (v == 0) continue;
    int line = SlotLine(v);
    if (line == removed) continue;
    if (removed >= 0 && line > removed) --line;
    Place(static_cast<std::uint32_t>(line), SlotHash(v));
  }
}

int TURLListModel::IndexOf(std::string_view url) const { return Find(url, Hash(url)); }

bool TURLListModel::AppendRaw(std::string_view url, bool checked) {
  const std::uint32_t h = Hash(url);
  if (Find(url, h) >= 0) return false;
  Store(url, checked, h);
  return true;
}

void TURLListModel::Store(std::string_view url, bool checked, std::uint32_t hash) {
  if ((Ends.size() + 1) * 2 > Slots.size()) Rehash(Slots.empty() ? 64 : Slots.size() * 2);
  Text.append(url);
  Ends.push_back(Text.size());
  Marks.push_back(checked ? 1 : 0);
  Place(static_cast<std::uint32_t>(Ends.size() - 1), hash);
}

int TURLListModel::AppendPendingBatch(const std::vector<TNewLine>& lines) {
  const int before = Count();
  const std::size_t n = lines.size();
  if (n == 0) return 0;
  // Grown first, so the slots looked up below stay where they are.
  std::size_t size = Slots.empty() ? 64 : Slots.size();
  while ((Ends.size() + n + 1) * 2 > size) size *= 2;
  if (size != Slots.size()) Rehash(size);
  // Each line costs two reads from memory the walk has not touched: its
  // text, in its record, and its slot in the table. Asked for a batch at a
  // time, they arrive together rather than one after the other.
  for (const TNewLine& l : lines) __builtin_prefetch(l.URL.data());
  Hashes.resize(n);
  const std::size_t mask = Slots.size() - 1;
  for (std::size_t k = 0; k < n; ++k) {
    Hashes[k] = Hash(lines[k].URL);
    __builtin_prefetch(&Slots[Hashes[k] & mask]);
  }
  for (std::size_t k = 0; k < n; ++k)
    if (Find(lines[k].URL, Hashes[k]) < 0) Store(lines[k].URL, lines[k].Checked, Hashes[k]);
  return Count() - before;
}

void TURLListModel::Publish() {
  if (Shown >= Count()) return;
  beginInsertRows({}, Shown, Count() - 1);
  Shown = Count();
  endInsertRows();
}

void TURLListModel::Reserve(std::size_t lines, std::size_t textBytes) {
  Ends.reserve(lines);
  Marks.reserve(lines);
  Text.reserve(textBytes);
}

bool TURLListModel::Append(std::string_view url, bool checked) {
  if (!AppendRaw(url, checked)) return false;
  Publish();
  return true;
}

int TURLListModel::AppendBatch(const std::vector<TNewLine>& lines) {
  const int added = AppendPendingBatch(lines);
  Publish();
  return added;
}

void TURLListModel::RemoveLine(int i) {
  if (i < 0 || i >= Count()) return;
  Publish();
  beginRemoveRows({}, i, i);
  const size_t begin = i == 0 ? 0 : Ends[static_cast<size_t>(i) - 1];
  const size_t len = Ends[static_cast<size_t>(i)] - begin;
  Text.erase(begin, len);
  Ends.erase(Ends.begin() + i);
  --Shown;
  for (size_t k = static_cast<size_t>(i); k < Ends.size(); ++k) Ends[k] -= len;
  Marks.erase(Marks.begin() + i);
  Rehash(Slots.size(), i);
  endRemoveRows();
}

void TURLListModel::Clear() {
  beginResetModel();
  Text.clear();
  Text.shrink_to_fit();
  Ends.clear();
  Ends.shrink_to_fit();
  Marks.clear();
  Marks.shrink_to_fit();
  Slots.clear();
  Slots.shrink_to_fit();
  Shown = 0;
  endResetModel();
}

void TURLListModel::ClearForRefill() {
  beginResetModel();
  Text.clear();
  Ends.clear();
  Marks.clear();
  std::fill(Slots.begin(), Slots.end(), 0);
  Shown = 0;
  endResetModel();
}

void TURLListModel::TrimRoom(std::size_t lines, std::size_t textBytes) {
  lines = std::max(lines, Ends.size());
  textBytes = std::max(textBytes, Text.size());
  if (Ends.capacity() > 2 * lines + 64) {
    Ends.shrink_to_fit();
    Marks.shrink_to_fit();
  }
  if (Text.capacity() > 2 * textBytes + 4096) Text.shrink_to_fit();
  // The table a line count needs, as Store grows it: a power of two above
  // twice the lines.
  const auto tableFor = [](std::size_t n) {
    std::size_t size = 64;
    while (size < (n + 1) * 2) size *= 2;
    return size;
  };
  if (Slots.size() > 2 * tableFor(lines)) Rehash(tableFor(Ends.size()));
}

std::size_t TURLListModel::OverheadBytes() const {
  return Ends.capacity() * sizeof(std::uint64_t) + Marks.capacity() +
         Slots.capacity() * sizeof(std::uint64_t) + (Text.capacity() - Text.size());
}

// ---- TURLListBox ------------------------------------------------------------

namespace {

// Fits a URL to a width with its middle cut, measured as it will be shown:
// UTF-8 as UTF-8, other bytes as Latin-1. A cut that splits a UTF-8
// character drops the broken pieces rather than showing the line as Latin-1.
QString FittedURL(const QFontMetrics& metrics, const std::string& url, int width) {
  const bool utf8 = IsValidUtf8(url);
  const TTextWidth measure = [&metrics, utf8](std::string_view s) {
    const std::string t(s);
    return metrics.horizontalAdvance(
        utf8 ? QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())) : ToQ(t));
  };
  const std::string fitted = FitTextToWidth(measure, url, width, kFitCutMiddle);
  if (!utf8) return ToQ(fitted);
  QString q = QString::fromUtf8(fitted.data(), static_cast<qsizetype>(fitted.size()));
  q.remove(QChar(QChar::ReplacementCharacter));
  return q;
}

class TURLLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* w = opt.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(opt.rect, selected ? opt.palette.highlight() : opt.palette.base());
    QStyleOptionViewItem check = opt;
    check.rect = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, w);
    check.state = check.state & ~QStyle::State_HasFocus;
    check.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, w);
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
    const auto* model = static_cast<const TURLListModel*>(index.model());
    const std::string url(model->Line(index.row()));
    painter->setFont(opt.font);
    painter->setPen(selected ? opt.palette.highlightedText().color() : opt.palette.text().color());
    const QFontMetrics metrics(opt.font);
    const int y = text.top() + (text.height() - metrics.height()) / 2;
    painter->drawText(text.left() + 2, y + metrics.ascent(),
                      FittedURL(metrics, url, text.width() - 2));
    if (opt.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(opt);
      focus.rect = opt.rect;
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, w);
    }
    painter->restore();
  }
};

}  // namespace

TURLListBox::TURLListBox(QWidget* parent) : QListView(parent), Model_(new TURLListModel(this)) {
  setModel(Model_);
  setItemDelegate(new TURLLineDelegate(this));
  // Every line is one text line high: the view need not measure a million.
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  Model_->OnUserCheck = [this](int line, bool on) {
    if (OnClickCheck) OnClickCheck(line, on);
  };
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { NoteFocus(); });
  connect(Model_, &QAbstractItemModel::modelReset, this, [this] { NoteFocus(); });
}

int TURLListBox::ItemIndex() const {
  const QModelIndex cur = currentIndex();
  return cur.isValid() ? cur.row() : -1;
}

void TURLListBox::SetItemIndex(int index) {
  Model_->Publish();
  if (index < 0 || index >= Count()) {
    selectionModel()->clear();
    return;
  }
  const QModelIndex at = Model_->index(index);
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
  scrollTo(at);
}

std::vector<std::string> TURLListBox::GetSelStrings() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(rows.size()));
  for (const QModelIndex& r : rows) out.push_back(ItemText(r.row()));
  return out;
}

void TURLListBox::mouseReleaseEvent(QMouseEvent* e) {
  QListView::mouseReleaseEvent(e);
  if (OnMouseUp) OnMouseUp();
}

void TURLListBox::NoteFocus() {
  const int cur = ItemIndex();
  const std::string text = cur >= 0 ? ItemText(cur) : std::string();
  if (text == FocusText_) return;
  FocusText_ = text;
  if (OnChangeFocus) OnChangeFocus();
}

}  // namespace qv
