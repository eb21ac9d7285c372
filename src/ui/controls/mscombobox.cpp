#include "ui/controls/mscombobox.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/controls/qtext.h"

namespace qv {

TMSComboBox::TMSComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  // Installed after the box's own filter on its list, so it sees the
  // choosing press before the box acts on it.
  view()->viewport()->installEventFilter(this);
  view()->installEventFilter(this);
  connect(this, &QComboBox::activated, this, [this](int) {
    Click(FChooseKeys | QGuiApplication::keyboardModifiers());
    FChooseKeys = Qt::NoModifier;
  });
}

void TMSComboBox::SetItemsMS(const std::vector<std::string>& list) { ItemsMS = list; }

void TMSComboBox::DropDown() {
  const QString text = currentText();
  PrevText = FromQ(text);
  clear();
  addItems(ToQList(ItemsMS));
  setCurrentIndex(-1);
  setEditText(text);
}

void TMSComboBox::showPopup() {
  DropDown();
  QComboBox::showPopup();
}

bool TMSComboBox::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
      FChooseKeys = static_cast<QMouseEvent*>(event)->modifiers();
      break;
    case QEvent::KeyPress:
      FChooseKeys = static_cast<QKeyEvent*>(event)->modifiers();
      break;
    default:
      break;
  }
  return QComboBox::eventFilter(watched, event);
}

void TMSComboBox::FireClick() {
  if (OnClick) OnClick(this);
}

void TMSComboBox::Click(Qt::KeyboardModifiers keys) {
  if (!(keys & Qt::ControlModifier)) {
    FireClick();
    return;
  }
  const int index = currentIndex();
  // The edit may already show the chosen item: where nothing is appended it
  // goes back to the collected text.
  auto keep = [&] { setEditText(ToQ(PrevText)); };
  if (index < 0) return;
  const std::string item = FromQ(itemText(index));
  if (item.empty()) return keep();
  if (!Duplicates && (PrevText.find(Delimiters + item + Delimiters) != std::string::npos ||
                      PrevText.rfind(item + Delimiters, 0) == 0))
    return keep();
  const std::string combined = PrevText.empty() ? item : PrevText + Delimiters + item;
  setItemText(index, ToQ(combined));
  setCurrentIndex(index);
  setEditText(ToQ(combined));
  FireClick();
}

}  // namespace qv
