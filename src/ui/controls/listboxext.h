#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QListWidget>

class QComboBox;
class QLineEdit;

namespace qv {

// A list box with selection, clipboard and edit-box operations. ItemIndex is
// the current row (-1 for none); "multi-select" is any selection mode other
// than single selection.
class TListBoxExt : public QListWidget {
  Q_OBJECT
 public:
  using TConvert = std::function<std::string(const std::string&)>;

  explicit TListBoxExt(QWidget* parent = nullptr);

  int ItemIndex() const { return currentRow(); }
  int Count() const { return count(); }
  std::string ItemText(int index) const;
  std::vector<std::string> ItemTexts() const;
  void AddItem(const std::string& text);
  bool MultiSelect() const { return selectionMode() != QAbstractItemView::SingleSelection; }

  // Texts of the selected items in order, passed through Convert when given;
  // a converted "" is left out. The list stays owned by the control.
  virtual const std::vector<std::string>& GetSelStrings(const TConvert& Convert = {});
  void AddFromEdit(QLineEdit* edit);
  void AddFromCombo(QComboBox* combo);
  void ItemToEdit(QLineEdit* edit);
  void ItemToCombo(QComboBox* combo);
  void CopySelected();
  void PasteText(const std::string& removeChars);
  void DeleteSelected();
  // Key handler owners call from their key-down handling; true when the key
  // was one of the clipboard or delete keys and was acted on.
  bool CutCopyPaste(int key, Qt::KeyboardModifiers shift, const std::string& removeChars);
  void SetSelectedItem(int index);

 protected:
  std::vector<std::string> SelStrings;
};

}  // namespace qv
