#include "ui/controls/webbrowser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include "engine/imageinfo.h"
#include "model/strutils.h"
#include "model/uriparser.h"
#include "ui/controls/qtext.h"

namespace qv {

namespace {

// A file opened for reading only when it is a regular file (no waiting on a
// pipe or a device), closed when the object goes.
class TReadFd {
 public:
  explicit TReadFd(const std::string& path) {
    Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (Fd >= 0 && (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(Fd);
      Fd = -1;
    }
    if (Fd >= 0) Size = st.st_size;
  }
  ~TReadFd() {
    if (Fd >= 0) ::close(Fd);
  }
  TReadFd(const TReadFd&) = delete;
  TReadFd& operator=(const TReadFd&) = delete;

  bool Ok() const { return Fd >= 0; }
  std::int64_t Size = 0;
  int Fd = -1;

  // The whole file when it holds at most `limit` bytes.
  bool ReadAll(std::int64_t limit, std::string& out) const {
    if (Fd < 0 || Size > limit) return false;
    out.clear();
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(Fd, buf, sizeof buf);
      if (n < 0) return false;
      if (n == 0) return true;
      out.append(buf, static_cast<size_t>(n));
      // The file may have grown since it was measured.
      if (static_cast<std::int64_t>(out.size()) > limit) return false;
    }
  }
};

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// A URL scheme before the first ":" ("http:", "ftp:"); a path never has one.
bool HasScheme(std::string_view s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ':') return i > 1;  // one letter is a drive, not a scheme
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return LowerCaseAscii(path.substr(dot));
}

bool IsOneOf(const std::string& ext, std::initializer_list<const char*> list) {
  for (const char* e : list)
    if (ext == e) return true;
  return false;
}

// A document whose first bytes hold one of the tags every page begins with.
bool LooksLikeHtml(std::string_view head) {
  const std::string lower = LowerCaseAscii(head);
  for (const char* tag : {"<html", "<!doctype html", "<head", "<body", "<frameset"})
    if (lower.find(tag) != std::string::npos) return true;
  return false;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("/") : path.substr(0, slash + 1);
}

// The size an image is drawn at when the document names it (relative names
// resolved against base) exactly once with both a width and a height; an
// invalid size otherwise.
QSize DrawnSize(const QTextDocument* doc, const QUrl& base, const QUrl& url) {
  QSize found;
  int hits = 0;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      if (!f.isImageFormat()) continue;
      const QTextImageFormat im = f.toImageFormat();
      if (base.resolved(QUrl(im.name())) != url) continue;
      if (++hits > 1) return {};
      if (im.width() > 0 && im.height() > 0)
        found = QSize(static_cast<int>(im.width()), static_cast<int>(im.height()));
    }
  }
  return found;
}

}  // namespace

QImage ReadImageBounded(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return QImage();
  };
  TReadFd file(path);
  if (!file.Ok()) return fail("File not found");
  const TTvImageInfo info = GetImageInfo(path);
  const std::int64_t limit = static_cast<std::int64_t>(kImageAllocationLimitMiB) << 20;
  if (static_cast<std::int64_t>(info.Width) * info.Height * 4 > limit)
    return fail("Picture too large");
  // The header reader knows three formats; for anything else the readers'
  // own limit refuses an oversized allocation.
  QImageReader::setAllocationLimit(kImageAllocationLimitMiB);
  QFile dev;
  if (!dev.open(file.Fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    return fail("File not found");
  QImageReader reader(&dev);
  const QSize size = reader.size();
  if (size.isValid() && static_cast<std::int64_t>(size.width()) * size.height() * 4 > limit)
    return fail("Picture too large");
  QImage image = reader.read();
  if (image.isNull()) return fail("Not a picture: " + ExternalFromQ(reader.errorString()));
  if (error) error->clear();
  return image;
}

std::string LocalFileURL(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "file://";
  if (path.empty() || path[0] != '/') out += '/';
  for (unsigned char c : path) {
    if (IsUnreserved(c) || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string LocalPathOfURL(const QUrl& url) {
  if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) return "";
  const QString host = url.host();
  if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
    return "";
  const QByteArray raw = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  return std::string(raw.constData(), static_cast<size_t>(raw.size()));
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void FitImagesToPage(QTextDocument& doc, const QSizeF& room) {
  if (room.width() <= 0 || room.height() <= 0) return;
  struct TChange {
    int Position, Length;
    QTextImageFormat Format;
  };
  std::vector<TChange> changes;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.charFormat().isImageFormat()) continue;
      QTextImageFormat f = frag.charFormat().toImageFormat();
      QSizeF size(f.width(), f.height());
      if (size.width() <= 0 || size.height() <= 0) {
        const QImage image =
            doc.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
        if (image.isNull()) continue;
        size = image.size();
      }
      if (size.width() <= room.width() && size.height() <= room.height()) continue;
      size.scale(room, Qt::KeepAspectRatio);
      f.setWidth(size.width());
      f.setHeight(size.height());
      changes.push_back({frag.position(), frag.length(), f});
    }
  }
  for (const TChange& c : changes) {
    QTextCursor cursor(&doc);
    cursor.setPosition(c.Position);
    cursor.setPosition(c.Position + c.Length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(c.Format);
  }
}

bool TDefaultPrinter::Print(QTextDocument& doc, std::string& error) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) {
    error = kNoPrinterText;
    return false;
  }
  QPrinter printer(info, QPrinter::HighResolution);
  // The document is printed inside 2 cm margins at 96 units an inch; a
  // picture wider or higher than that would be cut off, so it shrinks to
  // the page as a browser's print does.
  const QRectF inches = printer.pageLayout().paintRect(QPageLayout::Inch);
  const qreal margins = 2 * 2 / 2.54;
  FitImagesToPage(doc, QSizeF((inches.width() - margins) * 96, (inches.height() - margins) * 96));
  doc.print(&printer);
  if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted) {
    error = "Printing failed";
    return false;
  }
  return true;
}

TWebBrowser::TWebBrowser(QWidget* parent) : QTextBrowser(parent) {
  setFrameShape(QFrame::NoFrame);
  setLineWidth(0);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setViewportMargins(0, 0, 0, 0);
  document()->setDocumentMargin(0);
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setFocusPolicy(Qt::NoFocus);
  setContextMenuPolicy(Qt::NoContextMenu);
}

void TWebBrowser::Navigate(const std::string& target) { Start(target, nullptr); }

void TWebBrowser::NavigateText(const std::string& html, const std::string& location) {
  Start(location, &html);
}

void TWebBrowser::Start(const std::string& target, const std::string* html) {
  const std::uint64_t generation = ++Generation;
  PendingTarget = target;
  PendingIsText = html != nullptr;
  PendingHtml = html ? *html : std::string();
  Location = target;
  Busy_ = true;
  Ready = TReadyState::Loading;
  QMetaObject::invokeMethod(
      this, [this, generation] { RunLoad(generation); }, Qt::QueuedConnection);
}

void TWebBrowser::Stop() {
  ++Generation;
  if (!Busy_) return;
  Busy_ = false;
  Ready = HasDocument_ ? TReadyState::Complete : TReadyState::Uninitialized;
}

void TWebBrowser::RunLoad(std::uint64_t generation) {
  if (generation != Generation || !Busy_) return;
  Error.clear();
  HasDocument_ = false;
  clear();
  std::string path = PendingTarget;
  if (HasURLScheme(path, "file:")) path = LocalPathOfURL(QUrl(ExternalToQ(path)));
  if (PendingIsText) {
    Base = QUrl(ExternalToQ(LocalFileURL(FolderOf(path))));
    document()->setBaseUrl(Base);
    setHtml(ExternalToQ(PendingHtml));
    HasDocument_ = true;
  } else if (path.empty() || HasScheme(path)) {
    Error = "Not a local file";
  } else {
    HasDocument_ = LoadFile(path);
  }
  PendingHtml.clear();
  document()->setDocumentMargin(0);
  if (HasDocument_)
    document()->setMetaInformation(QTextDocument::DocumentUrl, ExternalToQ(Location));
  Busy_ = false;
  Ready = TReadyState::Complete;
  emit DocumentComplete();
}

bool TWebBrowser::LoadFile(const std::string& path) {
  TReadFd file(path);
  if (!file.Ok()) {
    Error = "File not found";
    return false;
  }
  Base = QUrl(ExternalToQ(LocalFileURL(FolderOf(path))));
  document()->setBaseUrl(Base);
  if (!GetImageInfo(path).MimeType.empty()) {
    const QImage image = ReadImageBounded(path, &Error);
    if (image.isNull()) return false;
    const std::string src = LocalFileURL(path);
    setHtml(ExternalToQ("<html><body><img src=\"" + HtmlEscape(src) + "\"></body></html>"));
    document()->addResource(QTextDocument::ImageResource, QUrl(ExternalToQ(src)), image);
    return true;
  }
  std::string bytes;
  if (!file.ReadAll(kMaxDocumentBytes, bytes)) {
    Error = "File too large";
    return false;
  }
  const std::string_view head(bytes.data(), std::min<size_t>(bytes.size(), 4096));
  if (head.find('\0') != std::string_view::npos) {
    Error = "Not a document";
    return false;
  }
  const QString text = ExternalToQ(bytes);
  // Stored bodies often carry no extension ("Data" of a site's root), so a
  // page is also known by its content.
  const std::string ext = ExtensionOf(path);
  const bool html =
      IsOneOf(ext, {".htm", ".html", ".shtml", ".xhtml", ".php", ".asp", ".aspx", ".jsp"}) ||
      (!IsOneOf(ext, {".txt", ".text", ".csv", ".log"}) && LooksLikeHtml(head));
  if (html)
    setHtml(text);
  else
    setPlainText(text);
  return true;
}

QVariant TWebBrowser::loadResource(int type, const QUrl& name) {
  // Only pictures of local files are shown; style sheets, scripts and
  // anything on the network stay unloaded, as an off-line viewer should.
  if (type != QTextDocument::ImageResource) return {};
  const QUrl url = name.isRelative() ? Base.resolved(name) : name;
  const std::string path = LocalPathOfURL(url);
  if (path.empty()) return {};
  QImage image = ReadImageBounded(path);
  if (image.isNull()) return {};
  // Scaled here, smoothly, because the document draws it without filtering.
  const QSize drawn = DrawnSize(document(), Base, url);
  if (drawn.isValid() && drawn != image.size())
    image = image.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return image;
}

}  // namespace qv
