#pragma once

// A small browser control for showing and printing local images and stored
// pages: a QTextBrowser without frame, scroll bars or margin that loads one
// local document at a time, reports a ready state and a busy flag, delivers
// its document-complete event from the event loop (never inside Navigate),
// and prints without asking. It never reaches the network: a resource that is
// not a local file is simply not shown.

#include <cstdint>
#include <memory>
#include <string>

#include <QImage>
#include <QTextBrowser>
#include <QUrl>

class QTextDocument;

namespace qv {

// Pictures are decoded only when their 32-bit pixels fit in this many MiB;
// the limit is also handed to Qt's image readers, which refuse any larger
// allocation, so a small file declaring huge dimensions costs nothing.
inline constexpr int kImageAllocationLimitMiB = 256;
// Pages and text files larger than this are not loaded.
inline constexpr std::int64_t kMaxDocumentBytes = 32 * 1024 * 1024;

// Decodes a picture file through Qt's image readers with the bounds above:
// the header's size (GIF, JPEG, PNG) is checked before any decoding. A null
// image when the file is missing, not a picture, too large or broken, with
// the reason in *error when given.
QImage ReadImageBounded(const std::string& path, std::string* error = nullptr);

// "file://" followed by the absolute path with every byte outside the URL's
// unreserved characters and "/" percent-encoded, so any file name survives
// (RFC 8089, RFC 3986).
std::string LocalFileURL(const std::string& path);

// The local path (bytes) of a file: URL; "" for any other URL or a file: URL
// naming another host.
std::string LocalPathOfURL(const QUrl& url);

// The text with &, <, >, " and ' written as character references, for an
// HTML attribute value in double quotes.
std::string HtmlEscape(const std::string& text);

// Shrinks every picture of the document that is wider or higher than room
// (in the document's pixels) to fit it, aspect kept.
void FitImagesToPage(QTextDocument& doc, const QSizeF& room);

// Where printing goes. The program prints on the system's default printer;
// tests put a fake in its place.
class TDocPrinter {
 public:
  virtual ~TDocPrinter() = default;
  // Prints the whole document without asking the user. False when nothing
  // was printed, with a message for the status bar in error.
  virtual bool Print(QTextDocument& doc, std::string& error) = 0;
};

// The default printer through Qt Print Support, no dialog. Without a default
// printer nothing is printed and the result says so.
class TDefaultPrinter : public TDocPrinter {
 public:
  bool Print(QTextDocument& doc, std::string& error) override;
};

inline const std::string kNoPrinterText = "No default printer: nothing was printed";

class TWebBrowser : public QTextBrowser {
  Q_OBJECT
 public:
  enum class TReadyState { Uninitialized, Loading, Complete };

  explicit TWebBrowser(QWidget* parent = nullptr);

  // Starts loading a local file, given as a path or a file: URL. The browser
  // is busy until the load has run on a later turn of the event loop;
  // DocumentComplete follows it. A picture is shown at its own size, a page
  // as HTML (its relative pictures resolved beside it), other text as plain
  // text. Anything else (a network URL, a missing, binary or oversized file)
  // completes without a document, the reason in LoadError().
  void Navigate(const std::string& target);
  // The same for HTML text held in memory; location names it.
  void NavigateText(const std::string& html, const std::string& location);
  // Cancels a load that has not run yet; the browser is idle afterwards.
  void Stop();

  bool Busy() const { return Busy_; }
  TReadyState ReadyState() const { return Ready; }
  bool HasDocument() const { return HasDocument_; }
  const std::string& LocationURL() const { return Location; }
  const std::string& LoadError() const { return Error; }

 signals:
  void DocumentComplete();

 protected:
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  void Start(const std::string& target, const std::string* html);
  void RunLoad(std::uint64_t generation);
  bool LoadFile(const std::string& path);

  std::uint64_t Generation = 0;
  std::string PendingTarget;
  std::string PendingHtml;
  bool PendingIsText = false;
  bool Busy_ = false;
  bool HasDocument_ = false;
  TReadyState Ready = TReadyState::Uninitialized;
  std::string Location;
  std::string Error;
  QUrl Base;  // the folder relative pictures are resolved in
};

}  // namespace qv
