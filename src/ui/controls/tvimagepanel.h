#pragma once

// A framed panel that shows one image file through an embedded browser (a
// one-image page), sizes itself to the image, and prints files silently
// through a second, hidden browser with a queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls/framedpanel.h"
#include "ui/controls/webbrowser.h"

class QTimer;

namespace qv {

// The page that shows one image file at width x height pixels. The image is
// named by a percent-encoded file URL inside an escaped attribute, so any
// file name loads.
std::string ImagePageText(const std::string& imagePath, int width, int height);

struct TPanelSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const TPanelSize&) const = default;
};

// The size of a panel with a frame of `frame` pixels on each side showing an
// imageW x imageH picture within maxW x maxH: the image at its own size plus
// the frame when that fits, else the image fitted to the room left inside
// the frame (aspect kept, the limiting side filling it exactly, the other
// truncated) plus the frame. Room below 0 counts as 0; an image of no size
// gives the frame alone.
TPanelSize FitPanelSize(int imageW, int imageH, int maxW, int maxH, int frame);

class TTvImagePanel : public TFramedPanel {
  Q_OBJECT
 public:
  using TStatusEvent = std::function<void(const std::string&)>;

  // Without browsers (withBrowsers false) the panel shows and prints
  // nothing, as when the browser control cannot be made.
  explicit TTvImagePanel(QWidget* parent = nullptr, bool withBrowsers = true);
  ~TTvImagePanel() override;

  // Path of the image shown; "" for none.
  std::string ImageFile;
  // Show the panel when the view browser's document is complete.
  std::uint8_t ShowOnComplete = 0;
  // The print browser was sent to a queued file still to be printed.
  std::uint8_t PrintPending = 0;
  // Paths to print; the first is the one in progress.
  std::vector<std::string> PrintQueue;
  QTimer* PrintTimer = nullptr;
  TFramedPanel* InnerPanel = nullptr;
  TWebBrowser* ViewBrowser = nullptr;
  TWebBrowser* PrintBrowser = nullptr;

  // Outer + middle + inner band thickness.
  int FrameWidth() const;

  // Shows ImageFile: the page is written to the program folder's
  // "IEImPage.htm" (for reference only: the browser shows the text held in
  // memory, so two panels never race on the file) and loaded. With no image
  // the panel is hidden. 1 when a page was loaded, else 0.
  int LoadPage();
  // Sizes the panel to ImageFile's picture within maxW x maxH (frame
  // included), hidden first when hideFirst is set and the size changes.
  void FrameImage(int maxW, int maxH, bool hideFirst);
  // Queues a file (picture, page or text) for silent printing.
  void PrintResource(const std::string& path);
  void PrintImage();
  void PullPrintResource();
  // The print timer's tick (every 250 ms while printing): prints once the
  // print browser has been idle for four ticks, then goes on with the queue.
  // A file that could not be loaded or printed is dropped with a message.
  void Timer1Timer();
  void DocComplete();

  // The program prints on the default printer; tests hand in a fake.
  void SetPrinter(std::shared_ptr<TDocPrinter> printer);
  // Messages for the status bar (no printer, a file that cannot be printed).
  void SetOnStatus(TStatusEvent handler) { OnStatus = std::move(handler); }

  // Where LoadPage writes its page: the program folder's "IEImPage.htm";
  // "" without a program folder.
  static std::string PageFileName();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ResizeInner();
  void Status(const std::string& text);

  std::shared_ptr<TDocPrinter> Printer;
  TStatusEvent OnStatus;
  int PrintIdleTicks = 0;
};

}  // namespace qv
