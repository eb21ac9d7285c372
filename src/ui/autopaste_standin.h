#pragma once

#include <QObject>

namespace qv {

// Stand-in for the auto-paste module until its own unit replaces this file:
// it keeps the timer switch and the ask flag the main window sets when the
// application is deactivated and activated, and does nothing with them.
class TAutoPasteMod : public QObject {
  Q_OBJECT
 public:
  explicit TAutoPasteMod(QObject* parent = nullptr) : QObject(parent) {}

  bool TimerEnabled = false;
  bool AskFlag = false;
};

}  // namespace qv
