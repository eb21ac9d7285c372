#include "ui/dropdialog.h"

#include <algorithm>
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/progfolder.h"
#include "platform/wavesound.h"
#include "ui/controls/fontfit.h"
#include "ui/controls/framedpanel.h"
#include "ui/controls/uotarget.h"
#include "ui/helpwindow.h"
#include "ui/qtprompter.h"
#include "ui/startup.h"

namespace qv {

namespace {

constexpr int kClientWidth = 105;
constexpr int kClientHeight = 100;
constexpr int kZoneHeight = 25;

TFramedPanel* MakeZone(QWidget* parent, const char* name, const char* caption, int help) {
  auto* zone = new TFramedPanel(parent);
  zone->setObjectName(name);
  zone->SetCaption(caption);
  zone->setProperty("HelpContext", help);
  zone->SetFrameThickOuter(4);
  zone->SetFrameColLead(QColor(0xFF, 0xFF, 0xFF));
  zone->SetFrameColFlat(kZoneRest);
  TDropDlg::SetZoneColour(zone, kZoneRest);
  // The designed height, or what the caption needs inside the frame in the
  // user's font; never narrower than the caption.
  const int frame = 2 * (zone->FrameThickOuter() + zone->FrameThickMid() + zone->FrameThickInner());
  const QFontMetrics fm = zone->fontMetrics();
  zone->setFixedHeight(std::max(kZoneHeight, fm.height() + frame + 2));
  zone->setMinimumWidth(fm.horizontalAdvance(QString::fromUtf8(caption)) + frame + 4);
  return zone;
}

}  // namespace

std::string TDropDlg::DropSoundFile() {
  namespace fs = std::filesystem;
  for (const std::string& folder : {ProgramFolder(), InstalledDataFolder()}) {
    if (folder.empty()) continue;
    const fs::path p = fs::path(folder) / "Drop.wav";
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p.string();
  }
  return "";
}

TDropDlg::TDropDlg(QWidget* parent, const std::string& soundFile,
                   std::unique_ptr<TSoundPlayer> player)
    : QDialog(parent) {
  setWindowTitle("Drop target:-");
  setObjectName("DropDlg");
  setProperty("HelpContext", 50);
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  SingURLs = MakeZone(this, "SingURLs", "Extracted URLs", 61);
  PageURLs = MakeZone(this, "PageURLs", "Root URLs", 62);
  Images = MakeZone(this, "Images", "Images", 63);
  ShowMainChk = new QCheckBox("Show Main ", this);
  ShowMainChk->setObjectName("ShowMainChk");
  ShowMainChk->setProperty("HelpContext", 64);
  lay->addWidget(SingURLs);
  lay->addWidget(PageURLs);
  lay->addWidget(Images);
  lay->addWidget(ShowMainChk, 0, Qt::AlignHCenter);
  lay->addStretch(1);
  FixFittedSize(this, QSize(kClientWidth, kClientHeight));

  CornerTimer = new QTimer(this);
  CornerTimer->setInterval(100);
  connect(CornerTimer, &QTimer::timeout, this, [this] {
    RedoCornerWhenFramed();
    if (--CornerChecksLeft > 0 && isVisible()) return;
    CornerTimer->stop();
    // A frame first told later, or the next showing, must not pull a window
    // the user has moved since back into its corner.
    CornerToRedo = -1;
  });
  Timer1 = new QTimer(this);
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  HelpPopup = new QMenu(this);
  HelpPopup->addAction("Help", this, [this] {
    for (QWidget* w = HelpControl ? HelpControl : this; w; w = w->parentWidget())
      if (const int c = w->property("HelpContext").toInt()) {
        ShowHelpContext(c);
        break;
      }
  });
  connect(ShowMainChk, &QCheckBox::clicked, this, [this] { ShowMainChkMouseUp(); });

  SingURLsDrop = new TUOTextTarget(this);
  PageURLsDrop = new TUOTextTarget(this);
  ImagesDrop = new TUOTextTarget(this);
  using F = TDropTextFormat;
  SingURLsDrop->SetAcceptTextFormats({F::dtfURL, F::dtfIEHTML, F::dtfText, F::dtfCustom});
  PageURLsDrop->SetAcceptTextFormats({F::dtfURL, F::dtfIEHTML, F::dtfText, F::dtfCustom});
  ImagesDrop->SetAcceptTextFormats({F::dtfIEHTML, F::dtfCustom});
  BindTarget(SingURLsDrop, TDropZone::SingURLs);
  BindTarget(PageURLsDrop, TDropZone::RootURLs);
  BindTarget(ImagesDrop, TDropZone::Images);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

  if (!soundFile.empty())
    MP = std::make_unique<TWaveSound>(soundFile, player ? std::move(player) : MakeAlsaPlayer());
}

TDropDlg::~TDropDlg() = default;

void TDropDlg::BindTarget(TUOTextTarget* target, TDropZone zone) {
  target->CustomFormats.push_back({"Netscape Image Format", 0});
  target->SetAcceptorControl(Zone(zone));
  target->OnDrop = [this, target, zone](QObject*, QWidget*, const std::string& text, int, int) {
    ZoneDrop(zone, {target->DropKind, target->CustomFormatIndex, text, target->URLTitle});
  };
  target->OnDragEnter = [this, zone](QObject*, TDropEffect, int, int) { ZoneDragEnter(zone); };
  target->OnDragLeave = [this, zone](QObject*) { ZoneDragLeave(zone); };
}

TPrompter& TDropDlg::Prompts() const { return Prompter ? *Prompter : AppPrompter(); }

TFramedPanel* TDropDlg::Zone(TDropZone zone) const {
  switch (zone) {
    case TDropZone::SingURLs:
      return SingURLs;
    case TDropZone::RootURLs:
      return PageURLs;
    case TDropZone::Images:
      return Images;
    case TDropZone::None:
      break;
  }
  return nullptr;
}

void TDropDlg::SetZoneColour(TFramedPanel* zone, const QColor& colour) {
  if (!zone) return;
  QPalette pal = zone->palette();
  pal.setColor(QPalette::Window, colour);
  zone->setPalette(pal);
  zone->update();
}

QColor TDropDlg::ZoneColour(const TFramedPanel* zone) {
  return zone->palette().color(QPalette::Window);
}

void TDropDlg::ShowDropWindow() { ShowDropWindow(*GlobalSettings().Get()); }

void TDropDlg::ShowDropWindow(const TSettings& settings) {
  if (FirstPlacement) ShowMainChk->setChecked(!settings.HideMainChk);
  // Shown first: the frame's size is known only once the window is.
  show();
  if (FirstPlacement || !settings.MainPosChk)
    PlaceInCorner(settings.TRChk ? 1 : settings.BLChk ? 2 : settings.BRChk ? 3 : 0);
  raise();
  FirstPlacement = false;
}

namespace {

// The frame the window manager put round the window, asked of the window
// system itself: the widget's own record of it is made once and kept, even
// when it was made before the window was framed.
QMargins FrameMargins(const QWidget* w) {
  const QWindow* h = w->windowHandle();
  return h ? h->frameMargins() : QMargins();
}

}  // namespace

void TDropDlg::PlaceInCorner(int corner) {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect sr = s ? s->geometry() : QRect(0, 0, 0, 0);
  const QMargins m = FrameMargins(this);
  const QSize frame = size().grownBy(m);
  const int x = corner == 1 || corner == 3 ? sr.x() + sr.width() - frame.width() : sr.x();
  const int y = corner >= 2 ? sr.y() + sr.height() - frame.height() : sr.y();
  // An X11 window manager frames a window some time after it is shown; a
  // corner worked out without the frame leaves the title bar off the screen,
  // so the placement is made again once the frame is known. Noted before
  // the placement, which may report itself at once.
  CornerToRedo = m.isNull() ? corner : -1;
  CornerChecksLeft = 20;
  if (CornerToRedo >= 0)
    CornerTimer->start();
  else
    CornerTimer->stop();
  // The client area is placed inside the frame: a move would go by the
  // widget's own record of the frame, which may date from before the frame.
  setGeometry(QRect(QPoint(x + m.left(), y + m.top()), size()));
}

void TDropDlg::RedoCornerWhenFramed() {
  if (CornerToRedo >= 0 && !FrameMargins(this).isNull()) PlaceInCorner(CornerToRedo);
}

void TDropDlg::DropFeedback(TDropZone zone) {
  SetZoneColour(Zone(zone), kZoneDropped);
  ColourCountdown = 10;
  Timer1->start();
  PlayDropSound();
}

void TDropDlg::PlayDropSound() {
  if (MP) MP->Play();
}

bool TDropDlg::SoundLoaded() const { return MP && MP->Loaded(); }

void TDropDlg::Timer1Timer() {
  if (--ColourCountdown > 0) return;
  Timer1->stop();
  for (TFramedPanel* z : {SingURLs, PageURLs, Images}) SetZoneColour(z, kZoneRest);
}

void TDropDlg::FirstShow() {
  if (FirstShowDone) return;
  FirstShowDone = true;
  if (IsScheduleSwitch(ProgramArguments()) && OnScheduleStart) OnScheduleStart();
}

void TDropDlg::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!FirstShowDone) {
    FirstShow();
    return;
  }
  if (OnShowMain) OnShowMain(ShowMainChk->isChecked());
}

void TDropDlg::paintEvent(QPaintEvent* e) {
  QDialog::paintEvent(e);
  RedoCornerWhenFramed();
}

void TDropDlg::moveEvent(QMoveEvent* e) {
  QDialog::moveEvent(e);
  RedoCornerWhenFramed();
}

void TDropDlg::ShowMainChkMouseUp() {
  if (OnShowMain) OnShowMain(ShowMainChk->isChecked());
}

void TDropDlg::FormCloseQuery(bool& canClose) {
  canClose = true;
  if (Closing) return;
  if (OnScheduleClose && OnScheduleClose()) return;
  canClose = false;
  if (OnShowMain) OnShowMain(true);
  hide();
}

void TDropDlg::closeEvent(QCloseEvent* e) {
  bool canClose = false;
  FormCloseQuery(canClose);
  if (!canClose) {
    e->ignore();
    return;
  }
  e->accept();
  // The event loop ends once the handler that closed this window returns.
  if (Closing) QCoreApplication::quit();
}

void TDropDlg::contextMenuEvent(QContextMenuEvent* e) { HelpPopup->popup(e->globalPos()); }

bool TDropDlg::eventFilter(QObject* o, QEvent* e) {
  if (QWidget* pressed = HelpPress.Pressed(o, e)) HelpControl = pressed;
  return QDialog::eventFilter(o, e);
}

void TDropDlg::ZoneDragEnter(TDropZone zone) {
  if (zone == TDropZone::Images && !ImagesDrop->HasDataFormat("Netscape Image Format") &&
      !ImagesDrop->HasDataFormat("HTML Format"))
    return;
  SetZoneColour(Zone(zone), kZoneOver);
}

void TDropDlg::ZoneDragLeave(TDropZone zone) { SetZoneColour(Zone(zone), kZoneRest); }

void TDropDlg::ZoneDrop(TDropZone zone, const TZoneDrop& drop) {
  SetZoneColour(Zone(zone), kZoneRest);
  if (ShowMainChk->isChecked() && OnBringToFront) OnBringToFront();
  if (!Sink) return;
  if (!DropOnZone(*Sink, zone, drop)) {
    if (OnBringToFront) OnBringToFront();
    Prompts().ShowMessage(kNotALinkText);
  }
}

}  // namespace qv
