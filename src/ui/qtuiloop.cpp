#include "ui/qtuiloop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace qv {

TQtUiLoop::TQtUiLoop(QObject* parent) : QObject(parent) {}

TQtUiLoop::~TQtUiLoop() {
  for (auto& [id, t] : FTimers) delete t;
}

void TQtUiLoop::Post(TTask task) {
  // Queued to this object's thread; Qt drops the call once the object is gone.
  QMetaObject::invokeMethod(
      this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

int TQtUiLoop::StartTimer(int ms, TTask task) {
  int id = FNextId++;
  auto* timer = new QTimer(this);
  timer->setSingleShot(true);
  connect(timer, &QTimer::timeout, this, [this, id, task = std::move(task)] {
    auto it = FTimers.find(id);
    if (it == FTimers.end()) return;
    it->second->deleteLater();
    FTimers.erase(it);
    task();
  });
  FTimers[id] = timer;
  timer->start(ms);
  return id;
}

void TQtUiLoop::StopTimer(int id) {
  auto it = FTimers.find(id);
  if (it == FTimers.end()) return;
  it->second->stop();
  it->second->deleteLater();
  FTimers.erase(it);
}

void TQtUiLoop::RunUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TQtUiLoop::ProcessMessages() { QCoreApplication::processEvents(); }

void TQtUiLoop::Wait(int ms) {
  QElapsedTimer clock;
  clock.start();
  bool elapsed = false;
  int id = StartTimer(ms, [&elapsed] { elapsed = true; });
  RunUntil([&] { return elapsed || clock.elapsed() >= ms; });
  StopTimer(id);
}

}  // namespace qv
