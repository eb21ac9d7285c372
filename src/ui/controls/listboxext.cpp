#include "ui/controls/listboxext.h"

#include <QComboBox>
#include <QLineEdit>

#include "model/strutils.h"
#include "model/syshelpers.h"
#include "ui/controls/clipboardlist.h"
#include "ui/controls/qtext.h"

namespace qv {

TListBoxExt::TListBoxExt(QWidget* parent) : QListWidget(parent) {}

std::string TListBoxExt::ItemText(int index) const { return FromQ(item(index)->text()); }

std::vector<std::string> TListBoxExt::ItemTexts() const {
  std::vector<std::string> v;
  for (int i = 0; i < count(); ++i) v.push_back(ItemText(i));
  return v;
}

void TListBoxExt::AddItem(const std::string& text) { addItem(ToQ(text)); }

const std::vector<std::string>& TListBoxExt::GetSelStrings(const TConvert& Convert) {
  SelStrings.clear();
  for (int i = 0; i < count(); ++i) {
    if (!item(i)->isSelected()) continue;
    std::string s = ItemText(i);
    if (Convert) s = Convert(s);
    if (!s.empty()) SelStrings.push_back(s);
  }
  return SelStrings;
}

namespace {

// The list box's items as the shared edit-box helpers see a list.
struct TItemsView {
  TListBoxExt* L;
  int Count() const { return L->count(); }
  std::string operator[](int i) const { return L->ItemText(i); }
  int IndexOf(std::string_view s) const {
    TStringList items;
    for (int i = 0; i < L->count(); ++i) items.Add(L->ItemText(i));
    return items.IndexOf(s);
  }
  void Add(const std::string& s) { L->AddItem(s); }
  void Delete(int i) { delete L->takeItem(i); }
};

}  // namespace

void TListBoxExt::AddFromEdit(QLineEdit* edit) {
  TItemsView items{this};
  TQtTextBox<QLineEdit> box{edit};
  EditTextToList(box, items);
}

void TListBoxExt::AddFromCombo(QComboBox* combo) {
  TItemsView items{this};
  TQtComboBox<QComboBox> box{combo};
  ComboTextToList(box, items);
}

void TListBoxExt::ItemToEdit(QLineEdit* edit) {
  TItemsView items{this};
  TQtTextBox<QLineEdit> box{edit};
  ListItemToEdit(items, box, ItemIndex());
}

void TListBoxExt::ItemToCombo(QComboBox* combo) {
  TItemsView items{this};
  TQtComboBox<QComboBox> box{combo};
  ListItemToCombo(items, box, ItemIndex());
}

void TListBoxExt::CopySelected() {
  std::vector<std::string> lines;
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) lines.push_back(ItemText(i));
  CopyLinesToClipboard(lines);
}

void TListBoxExt::PasteText(const std::string& removeChars) {
  for (const auto& line : NewClipboardLines(ItemTexts(), removeChars)) AddItem(line);
}

void TListBoxExt::DeleteSelected() {
  // Take the selection first: removing the current item may move the view's
  // selection onto its neighbour, which must not be deleted as well.
  std::vector<QListWidgetItem*> doomed;
  int last = -1;
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) {
      last = i - static_cast<int>(doomed.size());
      doomed.push_back(item(i));
    }
  for (QListWidgetItem* it : doomed) delete takeItem(row(it));
  if (last < 0 || count() == 0) return;
  if (last >= count()) last = count() - 1;
  if (MultiSelect()) {
    selectionModel()->setCurrentIndex(model()->index(last, 0), QItemSelectionModel::NoUpdate);
    item(last)->setSelected(true);
  } else {
    setCurrentRow(last);
  }
}

bool TListBoxExt::CutCopyPaste(int key, Qt::KeyboardModifiers shift,
                               const std::string& removeChars) {
  return ActOnClipboardKey(*this, key, shift, removeChars, ItemIndex() >= 0 && count() != 0);
}

void TListBoxExt::SetSelectedItem(int index) {
  if (!MultiSelect()) {
    setCurrentRow(index);
    return;
  }
  const QModelIndex mi = index >= 0 ? model()->index(index, 0) : QModelIndex();
  selectionModel()->setCurrentIndex(mi, QItemSelectionModel::NoUpdate);
  if (index < 0) return;
  clearSelection();
  if (index < count()) item(index)->setSelected(true);
}

}  // namespace qv
