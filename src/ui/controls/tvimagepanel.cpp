#include "ui/controls/tvimagepanel.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <QTimer>

#include "engine/imageinfo.h"
#include "platform/atomicfile.h"
#include "platform/progfolder.h"

namespace qv {

std::string ImagePageText(const std::string& imagePath, int width, int height) {
  return "<html>\n<body leftmargin=0 topmargin=0>\n<img src=\"" +
         HtmlEscape(LocalFileURL(imagePath)) + "\" height=" + std::to_string(height) +
         " width=" + std::to_string(width) + ">\n</body>\n</html>";
}

TPanelSize FitPanelSize(int imageW, int imageH, int maxW, int maxH, int frame) {
  const int f2 = 2 * std::max(frame, 0);
  if (imageW <= 0 || imageH <= 0) return {f2, f2};
  const std::int64_t w = imageW, h = imageH;
  if (w + f2 <= maxW && h + f2 <= maxH) return {imageW + f2, imageH + f2};
  const std::int64_t boxW = std::max(maxW - f2, 0), boxH = std::max(maxH - f2, 0);
  // Integer arithmetic: the limiting side fills the room exactly, where a
  // single-precision scale would land a pixel short.
  if (boxW * h >= w * boxH)
    return {static_cast<int>(w * boxH / h) + f2, static_cast<int>(boxH) + f2};
  return {static_cast<int>(boxW) + f2, static_cast<int>(h * boxW / w) + f2};
}

TTvImagePanel::TTvImagePanel(QWidget* parent, bool withBrowsers)
    : TFramedPanel(parent), Printer(std::make_shared<TDefaultPrinter>()) {
  PrintTimer = new QTimer(this);
  PrintTimer->setInterval(250);
  connect(PrintTimer, &QTimer::timeout, this, &TTvImagePanel::Timer1Timer);
  if (!withBrowsers) return;
  ViewBrowser = new TWebBrowser();
  connect(ViewBrowser, &TWebBrowser::DocumentComplete, this, &TTvImagePanel::DocComplete);
  InnerPanel = new TFramedPanel(this);
  ViewBrowser->setParent(InnerPanel);
  PrintBrowser = new TWebBrowser(InnerPanel);
  PrintBrowser->lower();
  PrintBrowser->hide();
  // Clicks belong to the window holding the panel (the viewer steps on them).
  for (QWidget* w : {static_cast<QWidget*>(InnerPanel), static_cast<QWidget*>(ViewBrowser),
                     ViewBrowser->viewport()})
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
  ResizeInner();
}

TTvImagePanel::~TTvImagePanel() = default;

int TTvImagePanel::FrameWidth() const {
  return FrameThickOuter() + FrameThickMid() + FrameThickInner();
}

void TTvImagePanel::ResizeInner() {
  if (!ViewBrowser) return;
  const int f = FrameWidth();
  const int w = std::max(width() - 2 * f, 0), h = std::max(height() - 2 * f, 0);
  InnerPanel->setGeometry(f, f, w, h);
  // Our browser has no border or scroll bars to push out of sight, so it
  // fills the inner panel exactly.
  ViewBrowser->setGeometry(0, 0, w, h);
  PrintBrowser->setGeometry(0, 0, 1, 1);
}

void TTvImagePanel::resizeEvent(QResizeEvent* event) {
  TFramedPanel::resizeEvent(event);
  ResizeInner();
}

void TTvImagePanel::paintEvent(QPaintEvent* event) {
  static bool firstPaint = true;
  if (firstPaint) {
    firstPaint = false;
    ResizeInner();
  }
  TFramedPanel::paintEvent(event);
}

std::string TTvImagePanel::PageFileName() {
  const std::string folder = ProgramFolder();
  return folder.empty() ? std::string() : folder + "/IEImPage.htm";
}

int TTvImagePanel::LoadPage() {
  if (!ViewBrowser) return 0;
  ViewBrowser->Stop();
  if (ImageFile.empty()) {
    hide();
    return 0;
  }
  ResizeInner();
  const int f = FrameWidth();
  const std::string page =
      ImagePageText(ImageFile, std::max(width() - 2 * f, 0), std::max(height() - 2 * f, 0));
  // The file is a courtesy copy of the page; failing to write it changes
  // nothing on the screen.
  const std::string file = PageFileName();
  if (!file.empty() && MakeFolderChain(ProgramFolder(), 0755))
    WriteFileAtomic(file, page, 0644, false);
  ViewBrowser->NavigateText(page, file);
  return 1;
}

void TTvImagePanel::DocComplete() {
  if (ShowOnComplete) show();
  ShowOnComplete = 0;
}

void TTvImagePanel::FrameImage(int maxW, int maxH, bool hideFirst) {
  if (!ViewBrowser) return;
  const TTvImageInfo info = GetImageInfo(ImageFile);
  const TPanelSize size = FitPanelSize(info.Width, info.Height, maxW, maxH, FrameWidth());
  if (size.Width == width() && size.Height == height()) return;
  if (hideFirst) hide();
  resize(size.Width, size.Height);
  // A hidden widget hears of its new size only when shown.
  ResizeInner();
}

void TTvImagePanel::SetPrinter(std::shared_ptr<TDocPrinter> printer) {
  Printer = std::move(printer);
}

void TTvImagePanel::PrintResource(const std::string& path) {
  if (!PrintBrowser) return;
  PrintQueue.push_back(path);
  if (PrintQueue.size() == 1) PullPrintResource();
}

void TTvImagePanel::PrintImage() { PrintResource(ImageFile); }

void TTvImagePanel::PullPrintResource() {
  if (!PrintBrowser || PrintQueue.empty()) return;
  PrintBrowser->Stop();
  PrintBrowser->Navigate(PrintQueue.front());
  PrintIdleTicks = 0;
  PrintTimer->start();
  PrintPending = 1;
}

void TTvImagePanel::Timer1Timer() {
  if (!PrintBrowser) return;
  if (PrintBrowser->Busy()) {
    PrintIdleTicks = 0;
    return;
  }
  if (++PrintIdleTicks < 4) return;
  PrintIdleTicks = 0;
  PrintTimer->stop();
  if (!PrintPending) return;
  PrintPending = 0;
  const std::string file = PrintQueue.empty() ? std::string() : PrintQueue.front();
  std::string error;
  if (!PrintBrowser->HasDocument())
    Status("Cannot print " + file + ": " + PrintBrowser->LoadError());
  else if (!Printer || !Printer->Print(*PrintBrowser->document(), error))
    Status(error.empty() ? kNoPrinterText : error);
  if (!PrintQueue.empty()) {
    PrintQueue.erase(PrintQueue.begin());
    PullPrintResource();
  }
}

void TTvImagePanel::Status(const std::string& text) {
  if (OnStatus) OnStatus(text);
}

}  // namespace qv
