#pragma once

#include <functional>

#include <QComboBox>
#include <QMouseEvent>

namespace qv {

// A combo box that lets its owner see mouse presses and moves, which the
// windows use to remember the control for context help.
class TComboBoxExt : public QComboBox {
  Q_OBJECT
 public:
  using TMouseEvent = std::function<void(TComboBoxExt* Sender, QMouseEvent* Event)>;

  explicit TComboBoxExt(QWidget* parent = nullptr) : QComboBox(parent) {}

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseMove;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (OnMouseDown) OnMouseDown(this, e);
    QComboBox::mousePressEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (OnMouseMove) OnMouseMove(this, e);
    QComboBox::mouseMoveEvent(e);
  }
};

}  // namespace qv
