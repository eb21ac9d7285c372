#pragma once

#include <QObject>

#include "engine/threadtimer.h"

class QSocketNotifier;
class QTimer;

namespace qv {

// Runs a tick source from the Qt event loop of the thread that owns it (the
// user-interface thread): a single-shot timer set to the next due tick, and a
// notifier on the source's wake descriptor for timers switched on by other
// threads. Nothing wakes while no timer is enabled.
class TTickDriver : public QObject {
  Q_OBJECT
 public:
  explicit TTickDriver(TTickSource& source = TTickSource::Main(), QObject* parent = nullptr);
  ~TTickDriver() override;

 private:
  void PumpNow();

  TTickSource& FSource;
  QTimer* FTimer;
  QSocketNotifier* FWake = nullptr;
};

}  // namespace qv
