#include "ui/tickdriver.h"

#include <QSocketNotifier>
#include <QTimer>

namespace qv {

TTickDriver::TTickDriver(TTickSource& source, QObject* parent)
    : QObject(parent), FSource(source), FTimer(new QTimer(this)) {
  FTimer->setSingleShot(true);
  FTimer->setTimerType(Qt::PreciseTimer);
  connect(FTimer, &QTimer::timeout, this, &TTickDriver::PumpNow);
  if (FSource.WakeFd() >= 0) {
    FWake = new QSocketNotifier(FSource.WakeFd(), QSocketNotifier::Read, this);
    connect(FWake, &QSocketNotifier::activated, this, &TTickDriver::PumpNow);
  }
  PumpNow();
}

TTickDriver::~TTickDriver() = default;

void TTickDriver::PumpNow() {
  // Pump drains the wake descriptor, so the notifier does not fire again
  // until another timer is switched on.
  int64_t next = FSource.Pump();
  if (next < 0)
    FTimer->stop();
  else
    FTimer->start(static_cast<int>(std::min<int64_t>(next, 24 * 3600 * 1000)));
}

}  // namespace qv
