#include "ui/helpwindow.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "platform/progfolder.h"
#include "ui/qtprompter.h"

namespace qv {

std::function<void(int context)> HelpRequests;

namespace {

THelpWindow* TheHelpWindow = nullptr;
// Topics are a few kilobytes; anything far larger is not one of ours.
constexpr std::streamsize kMaxTopicSize = 1 << 20;

QRect ScreenRect() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

THelpWinInfo& HelpWinInfo() {
  static THelpWinInfo info;
  return info;
}

THelpWinInfo HelpPlacement(int right, int top, int height, int screenWidth, int screenHeight) {
  THelpWinInfo r;
  if (screenWidth <= 0 || screenHeight <= 0) return r;
  r.StructSize = 28;
  r.X = right * 1024 / screenWidth + 5;
  r.Y = top * 1024 / screenHeight;
  r.DX = 1024 - r.X;
  r.DY = height * 1024 / screenHeight;
  r.Show = kSwShow;
  return r;
}

std::string HelpTopicFile(int context) {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return "";
  return folder + "/Help/" + std::to_string(context) + ".htm";
}

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Quendravilos Help");
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  Browser = new QTextBrowser(this);
  Browser->setOpenLinks(false);
  lay->addWidget(Browser);
  resize(420, 480);
}

void THelpWindow::ShowContext(int context) {
  Context = context;
  std::string html;
  std::ifstream in(HelpTopicFile(context), std::ios::binary);
  if (in) {
    std::vector<char> buf(kMaxTopicSize);
    in.read(buf.data(), kMaxTopicSize);
    html.assign(buf.data(), static_cast<std::size_t>(in.gcount()));
  }
  Browser->setHtml(PromptText(html));
  show();
  raise();
}

void THelpWindow::Place(const THelpWinInfo& info) {
  const QRect s = ScreenRect();
  int x = s.x() + info.X * s.width() / 1024;
  int y = s.y() + info.Y * s.height() / 1024;
  int w = info.DX * s.width() / 1024;
  int h = info.DY * s.height() / 1024;
  w = std::clamp(w, 200, s.width());
  h = std::clamp(h, 200, s.height());
  x = std::clamp(x, s.x(), s.right() - w + 1);
  y = std::clamp(y, s.y(), s.bottom() - h + 1);
  setGeometry(x, y, w, h);
}

THelpWindow& AppHelpWindow() {
  if (!TheHelpWindow) TheHelpWindow = new THelpWindow;
  return *TheHelpWindow;
}

void FreeAppHelpWindow() {
  delete TheHelpWindow;
  TheHelpWindow = nullptr;
}

void ShowHelpContext(int context) {
  if (HelpRequests) {
    HelpRequests(context);
    return;
  }
  THelpWindow& w = AppHelpWindow();
  w.ShowContext(context);
  if (HelpWinInfo().StructSize != 0) w.Place(HelpWinInfo());
}

void PlaceHelpWindow(QWidget* control, int context) {
  if (!control) return;
  int x = control->width();
  QWidget* top = control;
  for (QWidget* w = control; w; w = w->parentWidget()) {
    x += w->isWindow() ? w->frameGeometry().x() : w->x();
    top = w;
  }
  const QRect form = top->frameGeometry();
  const QRect s = ScreenRect();
  HelpWinInfo() = HelpPlacement(x, form.y(), form.height(), s.width(), s.height());
  ShowHelpContext(context);
}

QWidget* THelpPressWatch::Pressed(QObject* o, QEvent* e) {
  if (e->type() != QEvent::MouseButtonPress || !o->isWidgetType()) return nullptr;
  auto* w = static_cast<QWidget*>(o);
  if (w->window()->windowType() == Qt::Popup) return nullptr;
  const quint64 stamp = static_cast<const QMouseEvent*>(e)->timestamp();
  if (Last && stamp == LastStamp && w->isAncestorOf(Last)) return nullptr;
  Last = w;
  LastStamp = stamp;
  return w;
}

}  // namespace qv
