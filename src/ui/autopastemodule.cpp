#include "ui/autopastemodule.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include "model/dropbytes.h"
#include "ui/controls/qtext.h"

namespace qv {

TAutoPasteMod::TAutoPasteMod(TDroppedURLSink& sink, TPrompter& prompter, QObject* parent)
    : QObject(parent), Core(sink, *this, prompter) {
  Timer1 = new QTimer(this);
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  ClipboardWatchable = !QGuiApplication::platformName().startsWith("wayland");
  ReadClipboard = []() -> std::optional<std::string> {
    const QMimeData* md = QGuiApplication::clipboard()->mimeData();
    // The offered types first: nothing is converted unless it is short text.
    if (!md || !md->hasText()) return std::nullopt;
    const QString text = md->text();
    if (text.size() > static_cast<qsizetype>(kAutoPasteTextLimit)) return std::string();
    return std::string(CutAtZero(ExternalFromQ(text)));
  };
  ClearClipboard = [] { QGuiApplication::clipboard()->clear(); };
  if (QGuiApplication::clipboard())
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { ClipboardChanged(); });
}

void TAutoPasteMod::SetTimerEnabled(bool on) {
  if (on && !ClipboardWatchable) {
    if (!NoticeShown && OnNotice) OnNotice(kWaylandAutoPasteNotice);
    NoticeShown = true;
    return;
  }
  if (on)
    Timer1->start();
  else
    Timer1->stop();
}

bool TAutoPasteMod::TimerEnabled() const { return Timer1->isActive(); }

void TAutoPasteMod::SetAskFirst(bool on) {
  if (on)
    Core.Deactivated();
  else
    Core.AskFirst = false;
}

void TAutoPasteMod::ProcessMessages() { QCoreApplication::processEvents(); }

void TAutoPasteMod::Timer1Timer() {
  if (!Changed || Core.Busy) return;
  Changed = false;
  const bool override = QGuiApplication::instance() != nullptr;
  if (override) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  Core.Tick(ReadClipboard, [this] {
    if (ClearClipboard) ClearClipboard();
    // Our own clear is no change worth reading.
    Changed = false;
  });
  if (override) QGuiApplication::restoreOverrideCursor();
}

}  // namespace qv
