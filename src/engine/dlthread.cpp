#include "engine/dlthread.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/contentcoding.h"
#include "engine/cookielist.h"
#include "engine/dialupdialog.h"
#include "engine/dnlist.h"
#include "engine/fetchhops.h"
#include "engine/htmlparser.h"
#include "engine/robots.h"
#include "engine/vkftp.h"
#include "engine/vkhttp.h"
#include "model/streamext.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkcache.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkmime.h"
#include "model/weblocal.h"
#include "platform/asciicase.h"
#include "platform/atomicfile.h"
#include "platform/httpdate.h"

namespace qv {

namespace {

namespace fs = std::filesystem;

std::string WithExt(const std::string& file, const std::string& ext) {
  const size_t slash = file.find_last_of("/\\");
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file + ext;
  return file.substr(0, dot) + ext;
}

// The URL's percent escapes decoded, as an FTP server names its files. False
// when the result could not be a plain name on the server: an escaped "/",
// a control byte (CR and LF would end the command) or a dot segment.
bool DecodeFTPPath(const std::string& text, std::string& out, bool allowSlash) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      c = static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
      if (c == '/') return false;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    if (c == '/' && !allowSlash) return false;
    out += c;
  }
  size_t start = 0;
  while (start <= out.size()) {
    const size_t slash = out.find('/', start);
    const std::string seg = out.substr(start, slash == std::string::npos ? slash : slash - start);
    if (seg == "." || seg == "..") return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

// "bytes S-E/T": S, E, and T (-1 for "*"). False when it is not that form.
bool ParseContentRange(const std::string& value, int64_t& start, int64_t& end, int64_t& total) {
  const std::string v = TrimBlanks(value);
  if (v.compare(0, 6, "bytes ") != 0) return false;
  long long s = 0, e = 0;
  char t[32] = {0};
  int used = 0;
  if (std::sscanf(v.c_str() + 6, "%lld-%lld/%31[0-9*]%n", &s, &e, t, &used) != 3) return false;
  if (static_cast<size_t>(used) + 6 != v.size() || s < 0 || e < s) return false;
  start = s;
  end = e;
  total = t[0] == '*' ? -1 : std::atoll(t);
  return t[0] != '*' || t[1] == 0;
}

// A decimal count; fallback when the text is no such count.
int64_t CountOr(const std::string& text, int64_t fallback) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return fallback;
  return std::stoll(text);
}

// Whether date a is older than date b; also when either is no date.
bool OlderDate(const std::string& a, const std::string& b) {
  std::time_t ta = 0, tb = 0;
  if (!ParseHttpDate(a, ta) || !ParseHttpDate(b, tb)) return true;
  return ta < tb;
}

}  // namespace

TDLThread::TDLThread(TVkThreadList* threadList, TJobContext& context, bool infoOnly, TDLList* queue)
    : TVkThread(threadList, context) {
  Kind = kDownload;
  InfoOnly = infoOnly ? 1 : 0;
  Queue = queue;
  Current.URL.clear();
}

TDLThread::~TDLThread() { WaitFor(); }

void TDLThread::FailItem(int8_t result, const std::string& statusText) {
  Result = result;
  LogResult(Current.URL, 0, "", statusText);
}

void TDLThread::Execute() {
  AbortFlag = 0;
  Finished = 0;
  {
    // Asked once: without a cache folder no item has a cached copy, and the
    // look-up costs a few file-system calls under FileLock per item.
    std::error_code ec;
    FHasCache = fs::is_directory(NativePath(CacheRoot()), ec);
  }
  try {
    while (PickNextLocked(false)) {
      const std::string url = GetURL();
      FPlaceholder = RobotsObeyed && Context().Robots && IsRobotsURL(url) &&
                     !Context().Robots->HasSite(URLSite(url));
      SetStatusURL(url);
      Changed = 1;
      SkipFlag = 0;
      FResumeFile.clear();
      try {
        StepMarker = "61";
        std::string keptOut;
        if (RobotsObeyed && Context().Robots && !FPlaceholder &&
            Context().Robots->IsDisallowed(url, &keptOut)) {
          FailItem(vrNoRobots, keptOut);
          continue;
        }
        StepMarker = "62";
        UseCachedCopy();
        if (AbortFlag) break;
        if (Snapshot().Settings->NeverDLChk && Result == vrSucceeded) continue;
        StepMarker = "63";
        if (LinkDown()) {
          // The robots.txt placeholder never left the queue; its item did not.
          if (!FPlaceholder) PutBack(Current);
          Result = vrFailed;
          break;
        }
        StepMarker = "64";
        if (HasURLScheme(url, "ftp:"))
          DownloadFTP();
        else
          DownloadHTTPItem();
        StepMarker = "65";
        if (AbortFlag) break;
        StepMarker = "66";
        if (Result != vrSucceeded && Result != vrUnsupported) {
          StepMarker = "67";
          if (LinkDown()) {
            if (!FPlaceholder) PutBack(Current);
            break;
          }
          StepMarker = "68";
          if (!SkipFlag && MayRetry() && Current.RetriesLeft > 0) {
            --Current.RetriesLeft;
            PutToRetry(Current);
          }
        }
        StepMarker = "58";
      } catch (const EInOutError&) {
        RestorePartial();
        FailItem(vrWriteError, "");
      } catch (const fs::filesystem_error&) {
        RestorePartial();
        FailItem(vrWriteError, "");
      }
    }
    StepMarker = "59";
  } catch (...) {
    // The thread ends here; its item has no record.
    JobDroppedErrors.Note("download thread");
    RestorePartial();
  }
  StepMarker = "60";
  DisarmWatchdog();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// --- cache ---

void TDLThread::UseCachedCopy() {
  if (!FHasCache) return;
  const std::string url = Current.URL;
  std::string body, header;
  if (!ReadCachedCopy(url, body, header)) return;
  const std::string stored = StoredBody();
  if (!stored.empty()) {
    // The cache is only a faster way to the same document: it replaces a
    // mirror copy only when its date shows it is not older. Without both
    // dates nothing shows that, and the mirror copy stays.
    const std::string root = Snapshot().LocalWebDir;
    const std::string mirrorDate = TrimBlanks(
        GetHeaderField(LockedReadFile(URLToLocalPath(root, url, "Head", ".txt")), "Last-Modified"));
    const std::string cacheDate = TrimBlanks(GetHeaderField(header, "Last-Modified"));
    if (OlderDate(cacheDate, mirrorDate)) return;
  }
  if (Result == vrNone) Result = vrSucceeded;
  const int64_t size = static_cast<int64_t>(body.size());
  if (InfoOnly) {
    if (stored.empty())
      FinishItem(header, "", size, -2, false);
    else
      LogResult(url, size, header, HttpStatusText(-2));
    return;
  }
  FinishItem(header, body, size, -2, true);
}

// --- HTTP ---

void TDLThread::DownloadHTTPItem() {
  std::string accept;
  const auto filter = Snapshot().MimeFilter;
  if (filter) {
    for (const std::string& p : filter->Patterns) {
      if (!accept.empty()) accept += ",";
      accept += p;
    }
  }
  DownloadHTTP(accept);
}

void TDLThread::DownloadHTTP(const std::string& acceptTypes) {
  const std::string url = Current.URL;
  if (EndedUnfetchable()) return;
  const std::string root = Snapshot().LocalWebDir;
  // The clients take file-system names, and make the file and its folder
  // once the body brings its first byte: a URL that stores nothing leaves
  // no folder behind.
  const std::string tempFile = NativePath(URLToLocalPath(root, url, "Data", ".tmp"));
  if (tempFile.empty()) {
    FailItem(vrWriteError, "");
    return;
  }
  const bool robots = IsRobotsURL(url);

  THTTPFetch fetch;
  fetch.ShowLookup = true;
  fetch.BeforeRequest = [this] { FHeadersKept = false; };
  // A robots.txt is read into memory to be parsed: it is bounded as a page
  // the spider reads is, or an endless one would hold its site's items (and
  // fill the disk) for as long as the server keeps sending.
  fetch.Request = [&](const std::string& hop) {
    return InfoOnly && !IsRobotsURL(hop)
               ? HTTP->HeadExt(hop)
               : HTTP->GetExt(hop, tempFile,
                              robots ? static_cast<int64_t>(TIdHTTPExt::MaxTextBody) : 0,
                              /*deferFile=*/true);
  };
  fetch.Received = [&] { return FileSizeOf(tempFile); };
  fetch.ExtraLines[0] = &FConditionalLine;
  fetch.ExtraLines[1] = &FIfRangeLine;
  std::string fetchURL;
  std::string resumeFile;
  int64_t finalSize = 0;
  TFetchFailure failure;
  for (int attempt = 0;; ++attempt) {
    SetUpHTTPRequest();
    AcceptTypes = robots ? std::string() : acceptTypes;
    StoredLastModified.clear();
    FConditionalLine.clear();
    FIfRangeLine.clear();
    // robots.txt is read whole into memory when it arrives, so each fetch
    // alone is bounded; a partial joined run after run would not be.
    resumeFile = robots ? std::string() : PrepareResume(tempFile);
    if (resumeFile.empty()) AddIfModifiedSince();
    // A coded body is smaller on the wire, but its length is not the
    // document's: not for the size filter, nor for a HEAD, and a part
    // continues the document's own bytes.
    HTTP->Request.AcceptEncoding =
        InfoOnly || !resumeFile.empty() || FiltersBySize() ? "" : kAcceptedCodings;
    fetchURL = url;
    if (!FetchHTTPHops(fetchURL, fetch, failure)) {
      RestorePartial();
      return;
    }
    finalSize = FileSizeOf(tempFile);
    if (InfoOnly || resumeFile.empty() || attempt > 0 || JudgeResume() != roRefused) break;
    // The partial belongs to another version of the document, or the server
    // will not say it continues it: fetch the whole body once.
    LockedDeleteFile(tempFile);
    LockedDeleteFile(resumeFile);
    FResumeFile.clear();
  }
  TakeHTTPAnswer(fetchURL, tempFile, resumeFile, finalSize, failure);
}

void TDLThread::TakeHTTPAnswer(const std::string& fetchURL, const std::string& tempFile,
                               const std::string& resumeFile, int64_t finalSize,
                               const TFetchFailure& failure) {
  const std::string url = Current.URL;
  const bool robots = IsRobotsURL(url);
  const int32_t code = HTTP->ResponseCode;
  const std::string headers = HTTP->RawHeaders.Text();
  if (code == 206 && resumeFile.empty() && !InfoOnly) {
    // A part nobody asked for is no body, nor a partial to resume from.
    if (Result == vrSucceeded) Result = vrFailed;
    LockedDeleteFile(tempFile);
  }
  JoinResume(tempFile, resumeFile);
  const int64_t received = FileSizeOf(tempFile);
  if (received != finalSize && Result == vrSucceeded) finalSize = received;
  if (Result != vrSucceeded && (robots || (received < MinResumeSize && !InfoOnly)))
    LockedDeleteFile(tempFile);

  if (Result == vrSucceeded && InfoOnly) {
    if (BytesTotal == 0) BytesTotal = finalSize;
    // robots.txt is fetched whole even here, and read.
    const bool body = IsRobotsURL(url) && LockedFileExists(tempFile);
    FinishDownload(headers, body ? tempFile : std::string(), BytesTotal, code, false, failure);
    if (body) LockedDeleteFile(tempFile);
    return;
  }
  if (Result == vrSucceeded) {
    if (EqualsIC(BareType(HTTP->Response.ContentType), "text/html") && finalSize <= MaxMarkedPage) {
      std::string page = LockedReadFile(tempFile);
      InsertBase(page, fetchURL != ListedAddress(url) ? fetchURL : std::string(), true);
      LockedWriteFile(tempFile, page);
      finalSize = static_cast<int64_t>(page.size());
    }
    // A decoded body is not the size its headers announced.
    if (BytesTotal == 0 || !HTTP->BodyDecodedFrom.empty()) BytesTotal = finalSize;
    FinishDownload(headers, tempFile, BytesTotal, code, true, failure);
    return;
  }
  if (code == 406 || code == -406) Current.RetriesLeft = 0;
  if (code == 304) {
    // Not modified: the stored copy and its headers stay byte for byte. A
    // 304 to a request that asked nothing conditionally has nothing to
    // stand on.
    const std::string stored = StoredBody();
    if (!FConditionalLine.empty() && !stored.empty() && Result == vrFailed) {
      Result = vrSucceeded;
      LogResult(url, FileSizeOf(NativePath(stored)), headers, HttpStatusText(code), code);
    } else {
      if (Result == vrSucceeded) Result = vrFailed;
      SetActivity("Failed");
      LogResult(url, 0, headers, HttpStatusText(code), code);
    }
    return;
  }
  SetActivity("Failed");
  FinishDownload(headers, "", BytesTotal, code, false, failure);
}

void TDLThread::BodyReceived(int64_t count) {
  // Only a whole body's first bytes make a partial of their own; a resumed
  // part continues one whose headers were kept when it began.
  // A body decoded as it arrives leaves no partial.
  if (FHeadersKept || count < MinResumeSize || InfoOnly || HTTP->ResponseCode != 200 ||
      !HTTP->BodyDecodedFrom.empty() || !Snapshot().Settings->ResumePartial() ||
      IsRobotsURL(Current.URL))
    return;
  FHeadersKept = true;
  // A stored body keeps its own headers: the next run's conditional request
  // and a resume's validators are about that body until it is replaced.
  if (!StoredBody().empty()) return;
  SaveLocalCopy(Snapshot().LocalWebDir, "Head", Current.URL, HTTP->RawHeaders.Text(), ".txt");
}

std::string TDLThread::PrepareResume(const std::string& tempFile) {
  ResumeOffset = 0;
  FStoredETag.clear();
  FStoredLength = 0;
  if (InfoOnly || !Snapshot().Settings->ResumePartial()) return "";
  const std::string resumeFile = WithExt(tempFile, ".tm2");
  // A ".tm2" is only ever left by a run that ended in the middle of a
  // resume: it is the partial, and whatever ".tmp" lies beside it is a part
  // nobody checked.
  if (LockedFileExists(resumeFile)) {
    LockedDeleteFile(tempFile);
    if (!LockedRenameFile(resumeFile, tempFile))
      throw EInOutError("Cannot restore the partial download " + NativePath(resumeFile));
  }
  if (!LockedFileExists(tempFile)) return "";
  const int64_t size = LockedFileSize(tempFile);
  if (size < MinResumeSize) return "";
  ResumeOffset = size;
  SetActivity("Resuming");
  const std::string head =
      LockedReadFile(URLToLocalPath(Snapshot().LocalWebDir, Current.URL, "Head", ".txt"));
  StoredLastModified = TrimBlanks(GetHeaderField(head, "Last-Modified"));
  FStoredETag = TrimBlanks(GetHeaderField(head, "ETag"));
  FStoredLength = CountOr(TrimBlanks(GetHeaderField(head, "Content-Length")), 0);
  // The download goes into the ".tmp" name: a partial that could not move
  // out of its way would be overwritten.
  if (!LockedRenameFile(tempFile, resumeFile))
    throw EInOutError("Cannot move the partial download " + NativePath(tempFile));
  FResumeTemp = tempFile;
  FResumeFile = resumeFile;
  HTTP->Request.ContentRangeStart = LockedFileSize(resumeFile);
  // If-Range wants a strong validator (RFC 9110 13.1.5).
  if (!FStoredETag.empty() && FStoredETag.compare(0, 2, "W/") != 0)
    FIfRangeLine = "If-Range: " + FStoredETag;
  else if (!StoredLastModified.empty())
    FIfRangeLine = "If-Range: " + StoredLastModified;
  return resumeFile;
}

TDLThread::TResumeOutcome TDLThread::JudgeResume() const {
  const int32_t code = HTTP->ResponseCode;
  if (code == 412 || code == -412 || code == 416) return roRefused;
  if (code == 200) return roReplace;
  if (code != 206) return roRestore;
  if (LowerCaseAscii(BareType(HTTP->RawHeaders.GetValue("Content-Type"))) == "multipart/byteranges")
    return roRefused;
  // A part of coded bytes continues no partial of the document's own.
  if (ContentCodingOf(HTTP->RawHeaders.GetValue("Content-Encoding")) != TContentCoding::ccIdentity)
    return roRefused;
  int64_t start = 0, end = 0, total = 0;
  if (!ParseContentRange(HTTP->RawHeaders.GetValue("Content-Range"), start, end, total) ||
      start != ResumeOffset)
    return roRefused;
  // The rest was asked for: a part that stops short of the document's end
  // would be joined into a file that passes for whole (RFC 9110 14.4).
  if (total >= 0 && (end != total - 1 || (FStoredLength > 0 && total != FStoredLength)))
    return roRefused;
  // The part holds exactly the bytes its range names: a body longer than
  // its range, or a whole answer shorter, is not that range. A transfer cut
  // short is still a prefix of it, kept for the next resume.
  const int64_t got = FileSizeOf(FResumeTemp);
  if (got > end - start + 1 || (Result == vrSucceeded && got != end - start + 1)) return roRefused;
  const std::string etag = TrimBlanks(HTTP->RawHeaders.GetValue("ETag"));
  if (!FStoredETag.empty() && !etag.empty() && etag != FStoredETag) return roRefused;
  return roAppend;
}

void TDLThread::JoinResume(const std::string& tempFile, const std::string& resumeFile) {
  if (InfoOnly || resumeFile.empty()) return;
  FResumeFile.clear();
  if (!LockedFileExists(resumeFile)) return;
  switch (JudgeResume()) {
    case roAppend:
      if (LockedFileExists(tempFile) && !LockedAppendFile(resumeFile, tempFile)) {
        // The ".tm2" stays: the next run takes it up again.
        Result = vrWriteError;
        LockedDeleteFile(tempFile);
        return;
      }
      LockedDeleteFile(tempFile);
      if (!LockedRenameFile(resumeFile, tempFile)) Result = vrWriteError;
      return;
    case roReplace:
      LockedDeleteFile(resumeFile);
      return;
    default:
      LockedDeleteFile(tempFile);
      if (!LockedRenameFile(resumeFile, tempFile)) Result = vrWriteError;
      return;
  }
}

void TDLThread::RestorePartial() noexcept {
  try {
    if (!FResumeFile.empty() && LockedFileExists(FResumeFile)) {
      LockedDeleteFile(FResumeTemp);
      LockedRenameFile(FResumeFile, FResumeTemp);
    }
  } catch (...) {
  }
  FResumeFile.clear();
}

void TDLThread::AddIfModifiedSince() {
  const std::string url = Current.URL;
  if (IsRobotsURL(url)) return;
  if (StoredBody().empty()) return;
  const std::string head =
      LockedReadFile(URLToLocalPath(Snapshot().LocalWebDir, url, "Head", ".txt"));
  const std::string value = TrimBlanks(GetHeaderField(head, "Last-Modified"));
  if (!value.empty()) FConditionalLine = "If-Modified-Since:" + value;
}

std::string TDLThread::StoredBody() const {
  const std::string path = URLToLocalPath(Snapshot().LocalWebDir, Current.URL, "Data", "");
  // A plain test: only this thread works on this URL's folder, and a lookup
  // under FileLock for every item would make the threads wait on each other.
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(NativePath(path), ec) ? path : std::string();
}

namespace {

// The names of a URL's stored bodies in its folder: "Data" and "Data." plus
// any extension an earlier content type gave it; never the partials.
std::vector<std::string> StoredBodyNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string lower = LowerCaseAscii(name);
    if (lower != "data" && lower.compare(0, 5, "data.") != 0) continue;
    if (lower == "data.tmp" || lower == "data.tm2" || !it->is_regular_file(ec)) continue;
    names.push_back(name);
  }
  return names;
}

}  // namespace

bool TDLThread::PlaceBody(const std::string& tempFile, const std::string& path) {
  const std::string from = NativePath(tempFile);
  const std::string to = NativePath(path);
  // POSIX rename replaces the target in one step: a reader sees the old
  // body or the new one, and a failure leaves the old one.
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  // Other bodies of the URL would be found before the new one by a lookup
  // that takes the first "Data.*" of the folder.
  const size_t slash = to.rfind('/');
  const std::string folder = to.substr(0, slash);
  const std::string keep = to.substr(slash + 1);
  for (const std::string& name : StoredBodyNames(folder))
    if (name != keep) LockedDeleteFile(folder + "/" + name);
  return true;
}

bool TDLThread::SequenceBodies(const std::string& path) {
  const std::string native = NativePath(path);
  const std::string folder = native.substr(0, native.rfind('/'));
  // Every body of the URL, under whatever extension an earlier content type
  // gave it: the new body's placing would delete one it does not replace.
  for (const std::string& name : StoredBodyNames(folder)) {
    const size_t dot = name.rfind('.');
    const std::string older = UniqueFileName(
        folder + "/AAAA" + (dot == std::string::npos ? std::string() : name.substr(dot)));
    if (older.back() == '/' || !LockedRenameFile(folder + "/" + name, older)) return false;
  }
  return true;
}

void TDLThread::FinishDownload(const std::string& headers, const std::string& tempFile,
                               int64_t size, int32_t code, bool saveBody,
                               const TFetchFailure& failure) {
  const std::string url = Current.URL;
  if (!saveBody && headers.empty() && tempFile.empty()) {
    FinishItem("", "", 0, code, false, failure);
    return;
  }
  const bool robots = RobotsObeyed && Context().Robots && IsRobotsURL(url);
  std::string robotsText;
  if (robots && size != 0 && !tempFile.empty()) robotsText = LockedReadFile(tempFile);

  if (saveBody || !headers.empty()) {
    const std::string root = Snapshot().LocalWebDir;
    const std::string ext =
        ExtForMimeType(BareType(GetHeaderField(headers, "Content-Type")), SplitURLPath(url).Ext);
    const std::string path = URLToLocalPath(root, url, "Data", ext);
    if (saveBody) {
      bool ok = !path.empty();
      if (ok && Snapshot().Settings->SeqDLChk) ok = SequenceBodies(path);
      if (ok) {
        std::error_code ec;
        if (!tempFile.empty() && fs::is_regular_file(tempFile, ec)) {
          ok = PlaceBody(tempFile, path);
        } else {
          const std::string file = NativePath(path);
          ok = ForceDirs(file.substr(0, file.rfind('/'))) && WriteFileAtomic(file, "", 0644);
        }
      }
      // The body first, then its headers: should the headers fail, the next
      // run's conditional request carries the older date and fetches again.
      if (!ok || !SaveLocalCopy(root, "Head", url, headers, ".txt")) Result = vrWriteError;
    } else if (!path.empty() && StoredBody().empty()) {
      SaveLocalCopy(root, "Head", url, headers, ".txt");
    }
  }
  LogResult(url, size, headers, HTTPDetails(code, failure), code, failure);
  if (robots && !robotsText.empty()) {
    const std::string agent = UserAgentText(Snapshot().Settings->UserAgEd);
    Context().Robots->ParseRobotsTxt(URLSite(url), robotsText, agent);
  }
}

// --- FTP ---

bool TDLThread::FTPItemStopped(int64_t size) {
  if (!AbortFlag && !SkipFlag) return false;
  Result = vrFailed;
  LogResult(Current.URL, size, "", "");
  return true;
}

bool TDLThread::FTPItemStep(const char* activity, const std::function<bool()>& command) {
  Result = vrNone;
  if (!FTPStep(activity, command)) {
    if (Result == vrNone) Result = vrFailed;
    TimedOut();
    LogResult(Current.URL, 0, "", FTPRefusalText(), 0, FTP->LastFailure);
    return false;
  }
  if (TimedOut()) {
    LogResult(Current.URL, 0, "", "");
    return false;
  }
  return true;
}

void TDLThread::DownloadFTP() {
  FTP->ReplyCode = 0;
  if (InfoOnly) return;
  const std::string url = Current.URL;
  const std::string host = HostOf(url);
  TDNItem* entry = LookUpHost(host);
  if (FTPItemStopped(0)) return;
  if (HostGivenUp(host)) {
    FailItem(vrFailed, kHostNotFound);
    return;
  }
  BytesTotal = Current.KnownSize;

  // The server names its files as they are: the URL's escapes are decoded,
  // and a name that would leave the folder it names is refused.
  const TURLPathParts parts = SplitURLPath(url);
  std::string fileName, target;
  if (!DecodeFTPPath(parts.Name + parts.Ext, fileName, false) || fileName.empty() ||
      !DecodeFTPPath(parts.Dir, target, true)) {
    FailItem(vrFailed, "Invalid file name");
    return;
  }
  if (target.empty()) target.push_back('/');
  if (!OpenFTPFolder(entry, target)) return;

  Result = vrNone;
  const std::string root = Snapshot().LocalWebDir;
  // The clients take file-system names, and make the file and its folder
  // once the transfer brings its first byte.
  const std::string tempFile = NativePath(URLToLocalPath(root, url, "Data", ".tmp"));
  if (tempFile.empty()) {
    FailItem(vrWriteError, "");
    return;
  }
  if (!FTPItemStep("Set mode?", [&] { return FTP->ModeExt(ftBinary); })) return;
  if (FTPItemStopped(0)) return;
  if (!FetchFTPFile(fileName, tempFile)) return;
  const std::string path = URLToLocalPath(root, url, "Data", "");
  if (path.empty() || !PlaceBody(tempFile, path)) {
    FailItem(vrWriteError, "");
    return;
  }
  Result = vrSucceeded;
  LogResult(url, FileSizeOf(NativePath(path)), "", FtpReplyText(FTP->ReplyCode));
}

bool TDLThread::OpenFTPFolder(TDNItem* entry, const std::string& target) {
  const std::string url = Current.URL;
  std::string dir;
  if (FTPSessionDir(url, "", "", dir) && FTPItemStopped(0)) return false;
  if (dir.empty()) {
    if (!FTPLogOn(url, "", "")) {
      if (Result == vrNone) Result = vrFailed;
      NoteHostOutcome(entry, FTP->ReplyCode != 0, FTP->HostUnreachable);
      TimedOut();
      LogResult(url, 0, "", FTPRefusalText(), 0, FTP->LastFailure);
      return false;
    }
    SetActivity("Connected");
    NoteHostOutcome(entry, true, false);
    if (TimedOut()) {
      LogResult(url, 0, "", "");
      return false;
    }
  }
  if (AddURLPathSlash(dir) != target) {
    if (!FTPItemStep("Change dir?", [&] { return FTP->ChangeAbsDir(target); })) return false;
    if (FTPItemStopped(0)) return false;
  }
  return true;
}

bool TDLThread::FetchFTPFile(const std::string& fileName, const std::string& tempFile) {
  const std::string url = Current.URL;
  bool fetched = false;
  if (Snapshot().Settings->ResumePartial() && LockedFileExists(tempFile)) {
    ResumeOffset = LockedFileSize(tempFile);
    fetched = FTPStep("Resume?", [&] { return FTP->DownloadRestoreExt(fileName, tempFile); });
    if (!fetched) {
      if (TimedOut()) {
        LogResult(url, 0, "", "");
        return false;
      }
      if (FTPItemStopped(0)) return false;
      const int32_t reply = FTP->ReplyCode;
      if (reply == 0 || (reply / 10) % 10 != 0) {
        if (Result == vrNone) Result = vrFailed;
        LogResult(url, BytesTotal, "", FTPRefusalText(), 0, FTP->LastFailure);
        return false;
      }
    }
  }
  if (!fetched) {
    ResumeOffset = 0;
    LockedDeleteFile(tempFile);
    if (!FTPStep("Request?", [&] { return FTP->DownloadExt(fileName, tempFile); })) {
      if (Result == vrNone) Result = vrFailed;
      TimedOut();
      LogResult(url, BytesTotal, "", FTPRefusalText(), 0, FTP->LastFailure);
      return false;
    }
  }
  if (TimedOut()) {
    LogResult(url, BytesTotal, "", "");
    return false;
  }
  return !FTPItemStopped(BytesTotal);
}

}  // namespace qv
