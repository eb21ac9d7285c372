#pragma once

#include <QDialog>

namespace qv {

// Stand-in for the full-screen image viewer until its own unit replaces
// this file: an empty window made in its place in the start-up order.
class TImageFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TImageFrm(QWidget* parent = nullptr);
};

}  // namespace qv
