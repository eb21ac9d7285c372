#pragma once

// The worker of an "Extracting URLs" job: takes items from the spider queue,
// fetches HTML pages and style sheets by HTTP (or lists FTP folders), records
// every link found in the master list, and queues the links it may follow
// within the item's levels, site mode, link-follow rows, robots exclusion and
// page-only option.
//
// Levels: an anchor (or image-map area, or FTP folder) costs one level unless
// the item's site mode is 2 (stay on the host); frames, inline frames, layers,
// link elements and meta refreshes cost none, since they are part of the page
// that holds them. That lets a chain of generated frame pages run without end,
// so at most MaxEmbeddedHops of them are followed in a row after an anchor.
//
// Threads: as TVkThread. Everything here runs on the worker thread.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/vkthread.h"

namespace qv {

// One entry of an FTP folder listing.
struct TFTPListEntry {
  std::string URL;  // folders end in "/"
  bool Directory = false;
  int64_t Size = 0;
  bool operator==(const TFTPListEntry&) const = default;
};

// The entries of a LIST reply for the folder at dirURL. A first line shorter
// than 20 characters or starting "total" is a heading. "." and "..", names
// holding "/" or starting "..", empty names, lines longer than
// MaxFTPListLine and file lines whose size is no number are skipped; a
// symbolic link is named without its " -> target" and taken as a folder.
std::vector<TFTPListEntry> ParseFTPListing(const std::vector<std::string>& lines,
                                           const std::string& dirURL);
constexpr size_t MaxFTPListLine = 64 * 1024;

class TSpiderThread : public TVkThread {
 public:
  // Created suspended; Resume starts it.
  TSpiderThread(TVkThreadList* threadList, TJobContext& context, TDLList* queue);
  ~TSpiderThread() override;

  static constexpr int MaxEmbeddedHops = 64;
  // A linked file that is no page, of at most this many bytes, is taken
  // whole rather than cut after its headers (see TakesRefusedBody).
  static constexpr int64_t MaxTakenFileBytes = 1 << 20;
  static constexpr const char* kFollowWarning =
      "WARNING!! Link follow specifications are causing some links to be skipped";

  std::string PageText;  // the text fetched for the current item

 protected:
  void Execute() override;

 public:  // the steps, public for the tests that drive one of them
  void ExtractFromCache();
  void SpiderHTTPItem();
  void FetchPage(const std::string& acceptTypes);
  void AddCacheIfModifiedSince();
  // Scans PageText (an HTML page or a style sheet by its content type).
  void ScanPage(const std::string& contentType);
  // Handles the tag at or after the cursor, which points into PageText (a
  // zero byte inside it is stepped over); false when the page is done.
  bool ProcessTag(const char*& cursor);
  // False when the link was dropped.
  bool EnqueueLink(const std::string& url, bool embedded, uint8_t origin);
  bool FollowAllowed(const std::string& url, const std::string& linkText);
  void SpiderFTPItem();
  bool ConnectFTP();
  bool ChangeToURLDir();
  bool ListFTPDir(std::vector<std::string>& list);
  bool ReadFTPListing();
  // Lists already read: records and queues their entries.
  void TakeFTPListing(const std::vector<std::string>& list);

 protected:
  // One fetch of the page's text (the HTTP client's; a test's stand-in
  // sets the client's response state as a real answer would).
  virtual bool GetPageText(const std::string& url, std::string& body) {
    return HTTP->GetText(url, body);
  }
  bool TakesRefusedBody(const std::string& type) override;

 private:
  void Record(const std::string& url, uint8_t pageFile, const std::string& title,
              const std::string& image);
  void Warn();
  // A value resolved against the page's base.
  std::string Resolved(const std::string& value) const;
  // Queues a link the link-follow rows let through, else shows the warning.
  void FollowOrWarn(const std::string& url, const std::string& linkText);
  // The tag rules of ProcessTag after the base marker, in their order: a
  // meta refresh or an anchor (the cursor then at tagEnd, the anchor's
  // text read from there); a link of one attribute (bgsound, applet, input,
  // script, area, form, link, a background); the groups of attributes
  // (frames, images, media). The first two say whether they took the tag.
  bool TakePageLink(const char*& cursor, const char* tagEnd);
  bool TakeOneLink(const char* cursor);
  void TakeGroupLinks(const char* cursor);
  bool CachedCopyExists() const;
  // The page (or file) a hop of the fetch led to, stored and recorded under
  // that address too when no pick has taken it yet: it is not asked for
  // again when a link to it is met. text is the answer as it came.
  void KeepHopTarget(const std::string& target, std::string text, const std::string& headers,
                     int32_t code);
  // The references of style-sheet text (zero bytes in it end no scan): an
  // @import is queued as a linked sheet is, the rest are fetched with the
  // page.
  void TakeSheetLinks(const std::string& text);
  // Those of the style attribute of the tag under the cursor and, for a
  // style element, of its text. Gives the tag's end (FindTagEnd).
  const char* TakeStyleLinks(const char* tag);

  std::string FPageURL;     // the address the page's text came from
  std::string FExtraLines;  // request lines of this item (If-Modified-Since)
  bool FWarned = false;     // this page showed the link-follow warning
  // The answer is a file that is no page, taken whole: stored, not scanned.
  bool FTakenFile = false;
  // The server's address the page's links are queued with, read once a page.
  std::string FClientText;
  bool FClientTextRead = false;
};

}  // namespace qv
