#include "ui/controls/checklistboxext.h"

#include <QStyledItemDelegate>

#include "ui/controls/qtext.h"

namespace qv {

namespace {

class TReportingDelegate : public QStyledItemDelegate {
 public:
  explicit TReportingDelegate(TCheckListBoxExt* owner) : QStyledItemDelegate(owner), Owner(owner) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    Owner->DrawItem(index.row(), option.rect, option.state);
  }

 private:
  TCheckListBoxExt* Owner;
};

}  // namespace

TCheckListBoxExt::TCheckListBoxExt(QWidget* parent) : TListBoxExt(parent) {
  setItemDelegate(new TReportingDelegate(this));
  connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* it) {
    if (!Updating && OnClickCheck) OnClickCheck(this, row(it));
  });
}

void TCheckListBoxExt::AddItem(const std::string& text, bool checked) {
  Updating = true;
  auto* it = new QListWidgetItem(ToQ(text), this);
  it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
  it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  Updating = false;
}

bool TCheckListBoxExt::Checked(int index) const { return item(index)->checkState() == Qt::Checked; }

void TCheckListBoxExt::SetChecked(int index, bool on) {
  Updating = true;
  item(index)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  Updating = false;
}

const std::vector<std::string>& TCheckListBoxExt::GetSelStrings(const TConvert& Convert) {
  SelStrings.clear();
  const int wanted = static_cast<int>(selectedItems().size());
  int met = 0;
  for (int i = 0; i < count() && met < wanted; ++i) {
    if (!item(i)->isSelected()) continue;
    ++met;
    std::string s = ItemText(i);
    if (Convert) s = Convert(s);
    if (!s.empty()) SelStrings.push_back(s);
  }
  return SelStrings;
}

void TCheckListBoxExt::DrawItem(int Index, const QRect& Rect, QStyle::State State) {
  if (OnDrawItem) OnDrawItem(this, Index, Rect, State);
  if (!(State & QStyle::State_Selected) || !(State & QStyle::State_HasFocus)) return;
  const int cur = ItemIndex();
  if (cur < 0 || cur >= count()) {
    if (!FocusText_.empty()) {
      FocusText_.clear();
      if (OnChangeFocus) OnChangeFocus(this, Index, Rect, State);
    }
    return;
  }
  const std::string text = ItemText(cur);
  if (text != FocusText_) {
    FocusText_ = text;
    if (OnChangeFocus) OnChangeFocus(this, Index, Rect, State);
  }
}

}  // namespace qv
