#include "ui/imageform.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include "engine/imageinfo.h"
#include "model/strutils.h"
#include "model/syshelpers.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "ui/controls/tvimagepanel.h"

namespace qv {

namespace {

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec));
}

bool EndsWithIgnoringCase(const std::string& name, const std::string& tail) {
  return name.size() >= tail.size() &&
         LowerCaseAscii(name.substr(name.size() - tail.size())) == LowerCaseAscii(tail);
}

// URLs walked in one step between two turns of the event loop.
constexpr int kURLsPerYield = 100;

}  // namespace

TImageFrm::TImageFrm(QWidget* parent) : QDialog(parent, Qt::Window | Qt::FramelessWindowHint) {
  setWindowState(Qt::WindowFullScreen);
  setFocusPolicy(Qt::StrongFocus);
  PausedTxt = new QLabel(QStringLiteral("Paused !"), this);
  QFont font = PausedTxt->font();
  font.setBold(true);
  font.setPointSize(14);
  PausedTxt->setFont(font);
  PausedTxt->move(8, 8);
  PausedTxt->adjustSize();
  PausedTxt->hide();
  Image = new TTvImagePanel(this);
  Image->SetFrameThickOuter(4);
  Image->SetFrameThickMid(8);
  Image->SetFrameThickInner(4);
  Image->SetFrameColLead(QColor(0xFF, 0xFF, 0xFF));
  Image->SetFrameColFlat(QColor(0x80, 0x80, 0x80));
  Image->hide();
  Timer1 = new QTimer(this);
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &TImageFrm::Timer1Timer);
}

TImageFrm::~TImageFrm() = default;

bool TImageFrm::BeginSlideShow(const std::string& webDir, std::vector<std::string> urls,
                               std::int32_t interval, std::int32_t startIndex) {
  Closing = false;
  CloseAsked = false;
  WebDir = webDir;
  URLs = std::move(urls);
  SingleImage = false;
  Interval = interval;
  FileIndex = -1;
  URLIndex = startIndex - 1;
  Files.clear();
  if (Interval != 0)
    Timer1->start();
  else
    Timer1->stop();
  PausedTxt->hide();
  Step(false);
  if (Closing) return false;
  Image->show();
  return true;
}

void TImageFrm::StartSlideShow(const std::string& webDir, std::vector<std::string> urls,
                               std::int32_t interval, std::int32_t startIndex) {
  if (!BeginSlideShow(webDir, std::move(urls), interval, startIndex)) return;
  setWindowState(windowState() | Qt::WindowFullScreen);
  exec();
}

void TImageFrm::BeginShowImage(const std::string& path) {
  Closing = false;
  CloseAsked = false;
  Image->hide();
  Timer1->stop();
  PausedTxt->hide();
  URLs.clear();
  Files.clear();
  SingleImage = true;
  Image->ImageFile = path;
  PlaceImage();
  Image->LoadPage();
  Image->show();
}

void TImageFrm::ShowImage(const std::string& path) {
  BeginShowImage(path);
  setWindowState(windowState() | Qt::WindowFullScreen);
  exec();
}

void TImageFrm::CloseViewer() {
  Closing = true;
  Timer1->stop();
  PausedTxt->hide();
  reject();
}

void TImageFrm::Step(bool back) {
  if (SingleImage) {
    CloseViewer();
    return;
  }
  if (Stepping) return;
  TickCount = 0;
  Image->hide();
  const int d = back ? -1 : 1;
  int urlsSinceYield = 0;
  std::string accepted;
  Stepping = true;
  for (;;) {
    FileIndex += d;
    if (FileIndex < 0 || FileIndex >= static_cast<int>(Files.size())) {
      URLIndex += d;
      if (URLIndex < 0 || URLIndex >= static_cast<int>(URLs.size())) break;
      LoadURLFiles(back);
      if (++urlsSinceYield >= kURLsPerYield) {
        urlsSinceYield = 0;
        QCoreApplication::processEvents();
        if (CloseAsked || Closing) break;
      }
      if (Files.empty()) continue;
    }
    const std::string& candidate = Files[static_cast<size_t>(FileIndex)];
    if (IsImageFile(candidate) && IsRegularFile(candidate)) {
      accepted = candidate;
      break;
    }
  }
  Stepping = false;
  if (accepted.empty()) {
    CloseViewer();
    return;
  }
  Image->ImageFile = accepted;
  PlaceImage();
  Image->ShowOnComplete = 1;
  Image->LoadPage();
}

void TImageFrm::LoadURLFiles(bool back) {
  Files.clear();
  const std::string body =
      NativePath(URLToLocalPath(WebDir, URLs[static_cast<size_t>(URLIndex)], "Data", ""));
  const size_t slash = body.rfind('/');
  if (slash != std::string::npos) {
    const std::string folder = body.substr(0, slash);
    const std::string name = body.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      // Only files: a child URL's folder may be named like a picture.
      if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
      const std::string n = it->path().filename().string();
      if (LowerCaseAscii(n) == "head.txt" || !EndsWithIgnoringCase(n, ext)) continue;
      names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) Files.push_back(folder + "/" + n);
  }
  FileIndex = back ? static_cast<int>(Files.size()) - 1 : 0;
}

QSize TImageFrm::ScreenSize() const {
  const QScreen* s = screen();
  return s ? s->geometry().size() : QSize(800, 600);
}

void TImageFrm::PlaceImage() {
  const TTvImageInfo info = GetImageInfo(Image->ImageFile);
  const QSize screenSize = ScreenSize();
  const TPanelSize size = FitPanelSize(info.Width, info.Height, screenSize.width(),
                                       screenSize.height(), Image->FrameWidth());
  if (size.Width != Image->width() || size.Height != Image->height()) {
    Image->hide();
    Image->resize(size.Width, size.Height);
  }
  Image->move((screenSize.width() - size.Width) / 2, (screenSize.height() - size.Height) / 2);
}

void TImageFrm::FormKeyDown(int key) {
  if (Stepping) {
    if (key == Qt::Key_Escape) CloseAsked = true;
    return;
  }
  if (SingleImage) {
    CloseViewer();
    return;
  }
  switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
      Step(true);
      break;
    case Qt::Key_Space:
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
      Step(false);
      break;
    case Qt::Key_Escape:
      CloseViewer();
      break;
    case Qt::Key_P:
    case Qt::Key_F1:
      if (Interval == 0) break;
      if (!Timer1->isActive()) {
        Step(false);
        if (Closing) break;
        Timer1->start();
      } else {
        Timer1->stop();
      }
      PausedTxt->setVisible(!Timer1->isActive());
      break;
    default:
      break;
  }
}

void TImageFrm::Timer1Timer() {
  if (Stepping) return;
  if (++TickCount >= Interval * 10) Step(false);
}

void TImageFrm::ImageFrmMouseDown(Qt::MouseButton button) {
  if (Stepping) return;
  if (SingleImage) {
    CloseViewer();
    return;
  }
  Step(button == Qt::RightButton);
}

void TImageFrm::keyPressEvent(QKeyEvent* event) {
  FormKeyDown(event->key());
  event->accept();
}

void TImageFrm::mousePressEvent(QMouseEvent* event) {
  ImageFrmMouseDown(event->button());
  event->accept();
}

void TImageFrm::mouseReleaseEvent(QMouseEvent* event) {
  if (isVisible()) grabMouse();
  event->accept();
}

void TImageFrm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Above every other window of the program even where no window manager
  // stacks a full-screen window on top (it was shown under the main window).
  raise();
  activateWindow();
  grabMouse();
  setFocus();
}

void TImageFrm::hideEvent(QHideEvent* event) {
  releaseMouse();
  Timer1->stop();
  PausedTxt->hide();
  QDialog::hideEvent(event);
}

}  // namespace qv
