#include "engine/spiderthread.h"

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "engine/contentcoding.h"
#include "engine/cookielist.h"
#include "engine/cssparser.h"
#include "engine/dialupdialog.h"
#include "engine/dnlist.h"
#include "engine/fetchhops.h"
#include "engine/htmlparser.h"
#include "engine/robots.h"
#include "engine/scantext.h"
#include "engine/threadtimer.h"
#include "engine/urladder.h"
#include "engine/vkhttp.h"
#include "model/linkfollow.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkcache.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkmime.h"
#include "model/vkurllist.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

// A decimal count, saturating at the largest 64-bit value; false when the
// text is not one.
bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = 0;
  for (char c : text) {
    const int d = c - '0';
    if (value > (INT64_MAX - d) / 10) {
      value = INT64_MAX;
      return true;
    }
    value = value * 10 + d;
  }
  return true;
}

std::string TrimLine(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

}  // namespace

std::vector<TFTPListEntry> ParseFTPListing(const std::vector<std::string>& lines,
                                           const std::string& dirURL) {
  std::vector<TFTPListEntry> out;
  const std::string base = AddURLPathSlash(dirURL);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() > MaxFTPListLine) continue;
    const std::string line = TrimLine(lines[i]);
    if (i == 0) {
      const std::string t = TrimBlanks(line);
      if (t.size() < 20 || StartsWithIC(t, "total")) continue;
    }
    const TFTPFileInfo info = ParseFTPListLine(line);
    TFTPListEntry e;
    std::string name;
    std::string sizeText;
    if (info.Format == "D") {
      name = info.Token4;
      e.Directory = EqualsIC(info.Token3, "<dir>");
      sizeText = info.Token3;
    } else {
      name = info.Name;
      const char kind = info.Token1.empty() ? 0 : static_cast<char>(info.Token1[0] | 0x20);
      e.Directory = kind == 'd' || kind == 'l';
      sizeText = info.Token5;
      // A symbolic link names its target after the arrow.
      const size_t arrow = name.find(" -> ");
      if (kind == 'l' && arrow != std::string::npos) name.resize(arrow);
    }
    // "." and ".." would queue the parent (and in site mode 2 the whole
    // server); a name with "/" or starting ".." would leave the folder.
    if (name.empty() || name == "." || name.compare(0, 2, "..") == 0 ||
        name.find('/') != std::string::npos)
      continue;
    if (!e.Directory && !ParseCount(sizeText, e.Size)) continue;
    e.URL = ResolveURL(base, name);
    if (e.URL.empty()) continue;
    if (e.Directory) e.URL = AddURLPathSlash(e.URL);
    out.push_back(std::move(e));
  }
  return out;
}

TSpiderThread::TSpiderThread(TVkThreadList* threadList, TJobContext& context, TDLList* queue)
    : TVkThread(threadList, context) {
  Kind = kSpider;
  InfoOnly = 0;
  Queue = queue;
  Current.URL.clear();
}

TSpiderThread::~TSpiderThread() { WaitFor(); }

void TSpiderThread::Execute() {
  AbortFlag = 0;
  Finished = 0;
  try {
    while (PickNextLocked(true)) {
      SetStatusURL(Current.URL);
      Changed = 1;
      SkipFlag = 0;
      FWarned = false;
      FClientTextRead = false;
      const TSettings& s = *Snapshot().Settings;
      std::string keptOut;
      if (RobotsObeyed && Context().Robots &&
          Context().Robots->IsDisallowed(Current.URL, &keptOut)) {
        Result = vrNoRobots;
        LogResult(Current.URL, 0, "", keptOut);
        continue;
      }
      if (s.NeverDLChk && LinkDown()) {
        ExtractFromCache();
        if (AbortFlag) break;
        if (Result == vrSucceeded) continue;
      }
      if (LinkDown()) {
        PutBack(Current);
        Result = vrFailed;
        break;
      }
      if (HasURLScheme(Current.URL, "ftp:"))
        SpiderFTPItem();
      else
        SpiderHTTPItem();
      if (AbortFlag) break;
      if (Result == vrSucceeded || Result == vrUnsupported) continue;
      if (LinkDown()) {
        PutBack(Current);
        break;
      }
      if (SkipFlag) continue;
      if (Current.RetriesLeft < 1 || Result == vrOffSite) continue;
      --Current.RetriesLeft;
      PutToRetry(Current);
    }
  } catch (const std::exception&) {
    // The thread ends here; its item has no record.
    JobDroppedErrors.Note("spider thread");
  }
  DisarmWatchdog();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// --- cache ---

bool TSpiderThread::CachedCopyExists() const {
  std::string name;
  return !ReadCacheFile("Data", name, Current.URL).empty() &&
         !ReadCacheFile("Head", name, Current.URL).empty();
}

void TSpiderThread::ExtractFromCache() {
  const std::string url = Current.URL;
  std::string body, head;
  if (!ReadCachedCopy(url, body, head)) return;
  Current.BaseURL = url;
  FPageURL = url;
  SetActivity("Extracting");
  Changed = 1;
  PageText = body;
  ScanPage(BareType(GetHeaderField(head, "Content-Type")));
  if (Result == vrNone) Result = vrSucceeded;
  FinishItem(head, body, static_cast<int64_t>(body.size()), -2, true);
}

void TSpiderThread::AddCacheIfModifiedSince() {
  const std::string url = Current.URL;
  if (IsRobotsURL(url)) return;
  // Only a copy the cache could give back is worth a conditional request:
  // a 304 answer leaves nothing else to scan.
  std::string name;
  if (ReadCacheFile("Data", name, url).empty()) return;
  const std::string value =
      TrimBlanks(GetHeaderField(ReadCacheFile("Head", name, url), "Last-Modified"));
  if (!value.empty()) FExtraLines = "If-Modified-Since:" + value;
}

// --- HTTP ---

void TSpiderThread::SpiderHTTPItem() {
  // FetchPage may end before it sends anything: the code of the last item
  // must not be read as this one's.
  HTTP->ResponseCode = 0;
  FetchPage("text/html,text/css");
  if (HTTP->ResponseCode == 304) {
    // The cached copy and its headers stay as they are: it is scanned and
    // the item finished once from it.
    Result = vrNone;
    ExtractFromCache();
    return;
  }
  if (Result != vrSucceeded || FTakenFile) return;
  const std::string type = BareType(HTTP->Response.ContentType);
  const std::string ext = ExtForMimeType(type, SplitURLPath(Current.SiteBase).Ext);
  if (Current.URL == Current.SiteBase) {
    // Already recorded by FinishItem: a failed cache copy changes the
    // result only.
    if (!WriteCacheFile("Data", Current.URL, PageText, ext)) {
      SetActivity("File write error");
      Result = vrWriteError;
    }
    WriteCacheFile("Head", Current.URL, HTTP->RawHeaders.Text(), ".txt");
  }
  if (IsRobotsURL(Current.URL)) return;
  SetActivity("Extracting");
  Changed = 1;
  ScanPage(type);
}

void TSpiderThread::ScanPage(const std::string& contentType) {
  FClientTextRead = false;
  const char* cursor = PageText.c_str();
  if (!EqualsIC(contentType, "text/css")) {
    while (ProcessTag(cursor)) {
    }
    return;
  }
  TakeSheetLinks(PageText);
}

void TSpiderThread::TakeSheetLinks(const std::string& text) {
  // Style-sheet references are recorded for a download, never queued; an
  // imported style sheet is read in turn, as a linked one is.
  const char* cursor = text.c_str();
  const char* const end = cursor + text.size();
  for (;;) {
    if (SkipFlag || AbortFlag) return;
    bool import = false;
    const std::string u = NextCSSURL(cursor, import);
    if (u.empty()) {
      // A zero byte ends only the scan before it.
      cursor += std::strlen(cursor);
      if (cursor >= end) return;
      ++cursor;
      continue;
    }
    const std::string v = ResolveURL(Current.BaseURL, u);
    if (import) {
      EnqueueLink(v, true, 0);
      Record(v, 0, "", "");
    } else {
      Record(v, 1, "", "");
    }
    cursor += u.size();
    if (*cursor) ++cursor;
  }
}

const char* TSpiderThread::TakeStyleLinks(const char* tag) {
  const char* tagEnd = nullptr;
  const std::string style = GetAnyTagAttribute("style", tag, tagEnd);
  if (!style.empty()) TakeSheetLinks(DecodeCharRefs(style));
  const std::string_view sheet = StyleElementText(tag);
  if (!sheet.empty()) TakeSheetLinks(std::string(sheet));
  return tagEnd;
}

void TSpiderThread::FetchPage(const std::string& acceptTypes) {
  const std::string url = Current.URL;
  if (EndedUnfetchable()) return;
  SetUpHTTPRequest();
  // Pages come compressed when the server can: a page is read whole.
  HTTP->Request.AcceptEncoding = kAcceptedCodings;
  const std::string ext = LowerCaseAscii(SplitURLPath(url).Ext);
  AcceptTypes = IsRobotsURL(url) || ext == ".css" ? std::string() : acceptTypes;
  StoredLastModified.clear();
  FExtraLines.clear();
  AddCacheIfModifiedSince();
  Current.SiteBase = url;
  Changed = 1;

  THTTPFetch fetch;
  fetch.ExtraLines[0] = &FExtraLines;
  fetch.BeforeRequest = [this] {
    ResumeOffset = 0;
    FTakenFile = false;
  };
  // An empty document is a page without links, not a failure.
  fetch.Request = [this](const std::string& hop) { return GetPageText(hop, PageText); };
  fetch.Received = [this] { return static_cast<int64_t>(PageText.size()); };
  TFetchFailure failure;
  if (!FetchHTTPHops(Current.SiteBase, fetch, failure)) return;

  const int32_t code = HTTP->ResponseCode;
  const std::string headers = HTTP->RawHeaders.Text();
  if (Result == vrSucceeded) {
    FPageURL = Current.SiteBase;
    const bool hopped = Current.SiteBase != ListedAddress(url);
    std::string answer;
    if (hopped) answer = PageText;
    if (FTakenFile) {
      Current.BaseURL = Current.SiteBase;
    } else if (hopped) {
      // A page without a head, html or doctype tag (a style sheet) has no
      // place for the marker: its links still resolve against where it
      // came from.
      const std::string base = InsertBase(PageText, Current.SiteBase, true);
      Current.BaseURL = base.empty() ? Current.SiteBase : base;
    } else {
      InsertBase(PageText, "", true);
      Current.BaseURL = Current.SiteBase;
    }
    // A decoded page is not the size its headers announced.
    if (BytesTotal == 0 || !HTTP->BodyDecodedFrom.empty())
      BytesTotal = static_cast<int64_t>(PageText.size());
    FinishItem(headers, PageText, BytesTotal, code, true);
    if (hopped) KeepHopTarget(Current.SiteBase, std::move(answer), headers, code);
    return;
  }
  if (code == 406 || code == -406) Current.RetriesLeft = 0;
  SetActivity("Failed");
  // A 304 for a copy the cache holds is finished from that copy.
  if (code == 304 && CachedCopyExists()) return;
  FinishItem(headers, "", BytesTotal, code, false, failure);
}

void TSpiderThread::KeepHopTarget(const std::string& target, std::string text,
                                  const std::string& headers, int32_t code) {
  // The other trailing-"/" form of the item's own address shares its record
  // and its stored file.
  if (ListedAddress(target) == ListedAddress(Current.URL)) return;
  if (RobotsObeyed && Context().Robots && Context().Robots->IsDisallowed(target)) return;
  if (!ClaimUnvisited(target)) return;
  // Recorded as its own fetch would have been: found by the page that led
  // to it, its page without the marker of another address, its cache copy.
  // Its result is its own; the item's stays.
  const int8_t itemResult = Result;
  if (!FTakenFile) InsertBase(text, "", true);
  Record(target, 0, "", "");
  const int64_t size = BytesTotal;
  FinishItemAt(target, headers, text, size, code, true);
  if (!FTakenFile && Result == vrSucceeded) {
    const std::string ext =
        ExtForMimeType(BareType(HTTP->Response.ContentType), SplitURLPath(target).Ext);
    if (WriteCacheFile("Data", target, text, ext)) WriteCacheFile("Head", target, headers, ".txt");
  }
  Result = itemResult;
}

bool TSpiderThread::TakesRefusedBody(const std::string& type) {
  // A linked file that is no page is taken whole when it is small, so the
  // download job has no second request to make for it. A larger one, or
  // one of unknown size, is cut after its headers as before and left to the
  // download job, which writes it to disk as it comes instead of holding it
  // in memory. Taken only where the download job would take it: its content
  // type and the view filter's rows and sizes decide as they would there. A
  // file the mirror holds already is left to the download job too, whose
  // conditional request keeps it as it is when it has not changed.
  const int64_t size = BytesTotal;
  if (size <= 0 || size > MaxTakenFileBytes) return false;
  const TItemSnapshot& snap = Snapshot();
  if (!snap.MimeFilter || !snap.ViewFilter ||
      !TypeAccepted(snap.MimeFilter->ResponseFilter(), type))
    return false;
  if (LocalFileExists(snap.LocalWebDir, Current.URL, "Data")) return false;
  TVkURLItem candidate;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    if (const TVkURLItem* listed = GlobalURLList->FindItem(Current.URL)) candidate = *listed;
  }
  candidate.URL = Current.URL;
  candidate.ContentType = type;
  candidate.Size = SaturateSize32(size);
  if (!URLPassesFilters(*snap.ViewFilter, *snap.MimeFilter, candidate)) return false;
  FTakenFile = true;
  return true;
}

// --- tags ---

void TSpiderThread::Record(const std::string& url, uint8_t pageFile, const std::string& title,
                           const std::string& image) {
  Context().Adder->AddFoundURL(0, url, url, Current.URL, pageFile, title, image, -1);
}

void TSpiderThread::Warn() {
  if (FWarned) return;
  FWarned = true;
  Context().Adder->Outbox().AddStatusText(kFollowWarning);
}

bool TSpiderThread::FollowAllowed(const std::string& url, const std::string& linkText) {
  return CanFollowLink(Snapshot().Settings->LinkFollowGrid, url, linkText);
}

namespace {

// A link's value as the browser reads it.
std::string LinkValue(const char* tag, const char* attribute, const char* cursor) {
  return DecodeCharRefs(GetTagAttribute(tag, attribute, cursor));
}

// Whether a robots meta tag's content ("index, nofollow") keeps the page's
// links from being followed.
bool SaysNoFollow(const std::string& content) {
  size_t start = 0;
  while (start <= content.size()) {
    const size_t end = content.find_first_of(", \t", start);
    const std::string word =
        LowerCaseAscii(content.substr(start, end == std::string::npos ? end : end - start));
    if (word == "nofollow" || word == "none") return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string TSpiderThread::Resolved(const std::string& value) const {
  return ResolveURL(Current.BaseURL, value);
}

void TSpiderThread::FollowOrWarn(const std::string& url, const std::string& linkText) {
  if (FollowAllowed(url, linkText))
    EnqueueLink(url, false, 0);
  else
    Warn();
}

bool TSpiderThread::ProcessTag(const char*& cursor) {
  if (SkipFlag || AbortFlag) return false;
  // A zero byte in the page hides nothing after it from a browser.
  const char* const end = PageText.data() + PageText.size();
  while (!FindNextTag(cursor)) {
    if (cursor >= end) return false;
    ++cursor;
  }
  const std::string base = LinkValue("Tvbase", "href", cursor);
  if (!base.empty()) {
    // A relative base means nothing on its own: it is taken against the
    // address the page came from.
    Current.BaseURL = ResolveURL(FPageURL.empty() ? Current.URL : FPageURL, base);
    cursor = FindTagEnd(cursor);
    return true;
  }
  // The tag's end comes from the same pass that looks for its style.
  const char* const tagEnd = TakeStyleLinks(cursor);
  if (TakePageLink(cursor, tagEnd)) return true;
  if (!Snapshot().Settings->EnterNoRobChk) {
    const std::string robots = GetMetaRobots(cursor);
    if (!robots.empty()) {
      // The rules below look at what follows the tag, and find nothing.
      cursor = tagEnd;
      if (SaysNoFollow(robots)) {
        if (Context().Robots) Context().Robots->AddNoFollow(Current.URL);
        return false;
      }
    }
  }
  if (!TakeOneLink(cursor)) TakeGroupLinks(cursor);
  cursor = tagEnd;
  return true;
}

bool TSpiderThread::TakePageLink(const char*& cursor, const char* tagEnd) {
  std::string value = DecodeCharRefs(GetMetaRefreshURL(cursor));
  if (!value.empty()) {
    const std::string v = Resolved(value);
    EnqueueLink(v, true, Current.Origin);
    Record(v, 0, "", "");
    cursor = tagEnd;
    return true;
  }
  value = NormaliseURL(LinkValue("a", "href", cursor));
  if (value.empty()) return false;
  const std::string v = Resolved(value);
  cursor = tagEnd;
  std::string image;
  const std::string text = GetLinkText(cursor, &image);
  FollowOrWarn(v, text);
  if (!image.empty()) image = Resolved(DecodeCharRefs(image));
  Record(v, 0, text, image);
  return true;
}

bool TSpiderThread::TakeOneLink(const char* cursor) {
  // One-attribute embedded links: the first hit wins.
  struct TOne {
    const char* Tag;
    const char* Attr;
    const char* TitleAttr;
  };
  static const TOne kOnes[] = {{"bgsound", "src", nullptr},
                               {"applet", "codebase", "alt"},
                               {"input", "src", "alt"},
                               {"script", "src", nullptr}};
  std::string value;
  for (const TOne& one : kOnes) {
    value = LinkValue(one.Tag, one.Attr, cursor);
    if (value.empty()) continue;
    const std::string title = one.TitleAttr ? GetTagAttribute(one.Tag, one.TitleAttr, cursor) : "";
    Record(Resolved(value), 1, title, "");
    return true;
  }
  value = LinkValue("area", "href", cursor);
  if (!value.empty()) {
    const std::string v = Resolved(value);
    FollowOrWarn(v, "");
    Record(v, 0, GetTagAttribute("area", "alt", cursor), "");
    return true;
  }
  value = LinkValue("form", "action", cursor);
  if (!value.empty()) {
    // A search box's page, followed as an anchor is. A form that posts is
    // left alone: a fetch of its address is a request the site never made.
    if (!EqualsIC(TrimBlanks(GetTagAttribute("form", "method", cursor)), "post")) {
      const std::string v = Resolved(value);
      FollowOrWarn(v, "");
      Record(v, 0, "", "");
    }
    return true;
  }
  value = LinkValue("link", "href", cursor);
  if (!value.empty()) {
    const std::string v = Resolved(value);
    EnqueueLink(v, true, 0);
    Record(v, 0, "", "");
    return true;
  }
  for (const char* tag : {"body", "table", "td"}) {
    value = LinkValue(tag, "background", cursor);
    if (value.empty()) continue;
    Record(Resolved(value), 1, "", "");
    return true;
  }
  return false;
}

void TSpiderThread::TakeGroupLinks(const char* cursor) {
  // Groups: every attribute of the first group with a hit.
  struct TGroup {
    const char* Tag;
    std::vector<const char*> Attrs;
    const char* TitleAttr;
    bool SrcIsPage;  // a src of the group is a page of its own
  };
  // Pictures, media and their posters are fetched with the page, as an
  // image's src is; a srcset lists candidates, each of which a browser may
  // choose for some screen.
  static const TGroup kGroups[] = {
      {"frame", {"longdesc", "src"}, nullptr, true},
      {"iframe", {"longdesc", "src"}, nullptr, true},
      {"img", {"longdesc", "lowsrc", "src", "usemap", "dynsrc", "srcset"}, "alt", false},
      {"embed", {"src", "pluginspage", "codebase", "pluginurl"}, "alt", false},
      {"object", {"classid", "codebase", "data", "usemap"}, nullptr, false},
      {"layer", {"background", "src"}, nullptr, true},
      {"ilayer", {"background", "src"}, nullptr, true},
      {"video", {"src", "poster"}, nullptr, false},
      {"audio", {"src"}, nullptr, false},
      {"source", {"src", "srcset"}, nullptr, false},
      {"track", {"src"}, nullptr, false},
  };
  for (const TGroup& g : kGroups) {
    bool hit = false;
    std::string title;
    bool titleRead = false;
    for (const char* attr : g.Attrs) {
      const std::string value = LinkValue(g.Tag, attr, cursor);
      if (value.empty()) continue;
      hit = true;
      if (g.SrcIsPage && std::strcmp(attr, "src") == 0) {
        const std::string v = Resolved(value);
        EnqueueLink(v, true, 0);
        Record(v, 0, "", "");
        continue;
      }
      if (!titleRead && g.TitleAttr) {
        title = GetTagAttribute(g.Tag, g.TitleAttr, cursor);
        titleRead = true;
      }
      if (std::strcmp(attr, "srcset") != 0) {
        Record(Resolved(value), 1, title, "");
        continue;
      }
      for (const TTextSpan& url : SrcsetURLs(value))
        Record(Resolved(value.substr(url.At, url.Length)), 1, title, "");
    }
    if (hit) break;
  }
}

bool TSpiderThread::EnqueueLink(const std::string& url, bool embedded, uint8_t origin) {
  const TSettings& s = *Snapshot().Settings;
  const bool ftp = HasURLScheme(url, "ftp:");
  if (s.OnlyHTMChk) {
    const std::string ext = LowerCaseAscii(SplitURLPath(url).Ext);
    if (ext != ".css" && !IsPageOrScriptURL(url) && !(ftp && ext.empty())) return false;
  }

  TActiveDL item;
  item.URL = url;
  item.SiteBase = url;
  item.ParentURL = Current.URL;
  if (!FClientTextRead) {
    // Asked of the connection once per page rather than once per link: the
    // page's links are scanned after its fetch, with no request between.
    FClientTextRead = true;
    try {
      FClientText = HTTP->PeerAddress();
    } catch (...) {
      FClientText.clear();
    }
  }
  item.ClientText = FClientText;
  item.Origin = origin;
  item.SiteMode = Current.SiteMode;
  item.Depth = Current.Depth;
  item.RetriesLeft = s.DLRetriesUD;
  const std::string& reference = Current.Origin ? Current.SiteBase : Current.URL;
  if (IsOtherHost(reference, url)) {
    if (item.SiteMode == 1) {
      item.SiteMode = 0;
      item.Depth = 0;
    } else if (item.SiteMode == 2) {
      item.SiteMode = 0;
    }
  }
  if (!embedded && item.SiteMode != 2) --item.Depth;
  if (item.Depth < 0) return false;
  if (embedded) {
    // Frames and refreshes cost no level: a generated chain of them is cut
    // here.
    if (Current.EmbeddedHops >= MaxEmbeddedHops) return false;
    item.EmbeddedHops = static_cast<uint8_t>(Current.EmbeddedHops + 1);
  }
  if (!s.SpiderFTPChk && ftp) item.Depth = 0;
  // Tested and queued in one section: two threads finding the same link
  // queue it once.
  PutBackIfNotVisited(item);
  return true;
}

// --- FTP ---

void TSpiderThread::SpiderFTPItem() {
  FTP->ReplyCode = 0;
  const std::string host = HostOf(Current.URL);
  TDNItem* entry = LookUpHost(host);
  if (AbortFlag || SkipFlag) {
    Result = vrFailed;
    return;
  }
  if (HostGivenUp(host)) {
    Result = vrFailed;
    LogResult(Current.URL, 0, "", kHostNotFound);
    return;
  }
  Current.SiteBase = Current.URL;
  ResumeOffset = 0;
  std::string dir;
  const auto passWords = Snapshot().PassWords;
  if (FTPSessionDir(Current.URL, passWords ? passWords->GetUserID(Current.URL) : std::string(),
                    passWords ? passWords->GetPW(Current.URL) : std::string(), dir) &&
      (AbortFlag || SkipFlag)) {
    Result = vrFailed;
    return;
  }
  bool listed = false;
  if (!dir.empty() || ConnectFTP()) {
    NoteHostOutcome(entry, true, false);
    listed = ReadFTPListing();
  } else {
    NoteHostOutcome(entry, FTP->ReplyCode != 0, FTP->HostUnreachable);
  }
  if (listed) {
    Result = vrSucceeded;
    return;
  }
  // A folder that could not be listed is a failure that says why: the only
  // record a root folder gets.
  if (Result != vrTimedOut) Result = vrFailed;
  LogResult(Current.URL, 0, "", FTPRefusalText(), 0, FTP->LastFailure);
}

bool TSpiderThread::ConnectFTP() {
  const auto passWords = Snapshot().PassWords;
  const bool ok =
      FTPLogOn(Current.URL, passWords ? passWords->GetUserID(Current.URL) : std::string(),
               passWords ? passWords->GetPW(Current.URL) : std::string());
  return ok && FTP->Connected() && !TimedOut() && !AbortFlag && !SkipFlag;
}

bool TSpiderThread::ChangeToURLDir() {
  const std::string dir = SplitURLPath(AddURLPathSlash(Current.URL)).Dir;
  const bool ok =
      FTPStep("Change dir?.", [&] { return FTP->ChangeAbsDir(dir.empty() ? "/" : dir); });
  return ok && !TimedOut() && !AbortFlag && !SkipFlag;
}

bool TSpiderThread::ListFTPDir(std::vector<std::string>& list) {
  if (!ChangeToURLDir()) return false;
  const bool ok = FTPStep("List files?", [&] { return FTP->List(list); });
  return ok && !TimedOut() && !AbortFlag && !SkipFlag;
}

bool TSpiderThread::ReadFTPListing() {
  std::vector<std::string> list;
  if (!ListFTPDir(list)) return false;
  TakeFTPListing(list);
  return true;
}

void TSpiderThread::TakeFTPListing(const std::vector<std::string>& list) {
  SetActivity("Extracting");
  const TSettings& s = *Snapshot().Settings;
  for (const TFTPListEntry& e : ParseFTPListing(list, Current.URL)) {
    TVkURLItem rec;
    rec.URL = e.URL;
    rec.FoundURL = e.URL;
    rec.ParentURL = Current.URL;
    rec.Size = SaturateSize32(e.Size);
    if (e.Directory) {
      TActiveDL item;
      item.URL = e.URL;
      item.SiteMode = Current.SiteMode;
      item.Depth = Current.Depth;
      item.RetriesLeft = s.DLRetriesUD;
      if (!IsSameSite(Current.URL, e.URL)) item.SiteMode = 0;
      if (item.SiteMode != 2) --item.Depth;
      if (item.Depth >= 0) {
        if (FollowAllowed(e.URL, ""))
          PutBackIfNotVisited(item);
        else
          Warn();
      }
      rec.SetStatus(usNotAFile);
      rec.Details = "FTP directory";
    }
    Context().Adder->AddURLItemLocked(1, std::move(rec));
  }
}

}  // namespace qv
