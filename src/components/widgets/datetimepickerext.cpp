#include "components/widgets/datetimepickerext.h"

#include <QLineEdit>
#include <QMouseEvent>

namespace qv {

TDateTimePickerExt::TDateTimePickerExt(QWidget* parent) : QDateTimeEdit(parent) {
  setCalendarPopup(true);
  // The text field is a child of its own: presses on it never reach the
  // picker's handler.
  lineEdit()->installEventFilter(this);
}

void TDateTimePickerExt::MouseDown(const QMouseEvent& event, QPoint pos) {
  if (OnMouseDown) OnMouseDown(this, event.button(), event.modifiers(), pos.x(), pos.y());
}

void TDateTimePickerExt::mousePressEvent(QMouseEvent* event) {
  MouseDown(*event, event->position().toPoint());
  QDateTimeEdit::mousePressEvent(event);
}

bool TDateTimePickerExt::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress) {
    const auto* e = static_cast<QMouseEvent*>(event);
    MouseDown(*e, lineEdit()->mapTo(this, e->position().toPoint()));
  }
  return QDateTimeEdit::eventFilter(watched, event);
}

}  // namespace qv
