#pragma once

#include <functional>

#include <QDateTimeEdit>

namespace qv {

// A date-time picker (with its calendar drop-down) that lets its owner see
// mouse presses, on the arrow and on the text field alike.
class TDateTimePickerExt : public QDateTimeEdit {
  Q_OBJECT
 public:
  using TMouseEvent = std::function<void(TDateTimePickerExt* Sender, Qt::MouseButton Button,
                                         Qt::KeyboardModifiers Shift, int X, int Y)>;

  explicit TDateTimePickerExt(QWidget* parent = nullptr);

  TMouseEvent OnMouseDown;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MouseDown(const QMouseEvent& event, QPoint pos);
};

}  // namespace qv
