#include "ui/controls/listboxext.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>

#include "model/strutils.h"
#include "model/syshelpers.h"
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
  QClipboard* cb = QApplication::clipboard();
  cb->setText(QString());
  std::string text;
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) text += ItemText(i) + "\r\n";
  cb->setText(ToQ(text));
}

void TListBoxExt::PasteText(const std::string& removeChars) {
  const QString clip = QApplication::clipboard()->text();
  if (clip.isEmpty()) return;
  TStringList items;
  for (int i = 0; i < count(); ++i) items.Add(ItemText(i));
  for (const auto& piece : SplitClipboardLines(FromQ(clip)))
    if (AddStringIC(items, piece, removeChars) >= 0) AddItem(piece);
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
  const bool ctrl = shift & Qt::ControlModifier;
  if (key == Qt::Key_Insert && ctrl) {
    CopySelected();
  } else if (key == Qt::Key_Insert && (shift & Qt::ShiftModifier)) {
    PasteText(removeChars);
  } else if (key == Qt::Key_Delete) {
    if (ItemIndex() < 0 || count() == 0) return false;
    DeleteSelected();
  } else if (key == Qt::Key_C && ctrl) {
    CopySelected();
  } else if (key == Qt::Key_V && ctrl) {
    PasteText(removeChars);
  } else {
    return false;
  }
  return true;
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
