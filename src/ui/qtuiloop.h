#pragma once

#include <map>

#include <QObject>
#include <QPointer>

#include "engine/uiloop.h"

class QTimer;

namespace qv {

// The user-interface loop of engine logic over Qt's event loop. Made and used
// on the user-interface thread; Post may come from any thread, and tasks
// posted after the loop is destroyed are dropped.
class TQtUiLoop : public QObject, public TUiLoop {
  Q_OBJECT
 public:
  explicit TQtUiLoop(QObject* parent = nullptr);
  ~TQtUiLoop() override;

  void Post(TTask task) override;
  int StartTimer(int ms, TTask task) override;
  void StopTimer(int id) override;
  void RunUntil(const std::function<bool()>& done) override;
  void ProcessMessages() override;
  void Wait(int ms) override;

 private:
  std::map<int, QTimer*> FTimers;
  int FNextId = 1;
};

}  // namespace qv
