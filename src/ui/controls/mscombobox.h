#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QComboBox>

namespace qv {

// A combo box whose edit text collects several items of its list: a plain
// click picks one item as usual; a click with Ctrl held appends the picked
// item to the text the edit held when the list dropped down, after
// Delimiters. Unless Duplicates, an item already in that text is not added
// again (it counts as there when the text holds Delimiters + item +
// Delimiters, or begins with item + Delimiters).
class TMSComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TMSComboBox(QWidget* parent = nullptr);

  // Loaded into the list at each drop-down.
  std::vector<std::string> ItemsMS;
  std::string Delimiters;
  bool Duplicates = false;
  // The edit text when the list last dropped down.
  std::string PrevText;
  // The click event: an item was chosen (and, with Ctrl, appended).
  std::function<void(TMSComboBox* sender)> OnClick;

  void SetItemsMS(const std::vector<std::string>& list);
  // Remembers the edit text and reloads the list from ItemsMS.
  virtual void DropDown();
  // The multi-select step for the current item, with the keyboard modifiers
  // of the input that chose it.
  virtual void Click(Qt::KeyboardModifiers keys);

  void showPopup() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FireClick();
  // The modifiers of the last press or release in the drop-down list.
  Qt::KeyboardModifiers FChooseKeys;
};

}  // namespace qv
