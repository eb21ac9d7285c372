#pragma once

// The worker of a download job: takes items from the job's download queue
// until it is empty or the job stops, and for each checks robots exclusion,
// takes a cached copy when there is one, and fetches the URL by HTTP (resume,
// conditional request, redirects, cookies, proxy, per-site credentials) or by
// FTP (session reuse, resume) into the local mirror tree, then records the
// result in the master list.
//
// Files of one URL, in the URL's own folder of the mirror: "Data.tmp" (a
// download in progress, kept from 20,000 bytes on for a resume), "Data.tm2"
// (the earlier part while a resume runs), "Data" + extension (the body),
// "Head.txt" (the response header block), and with sequence files the older
// bodies as "AAAA" + extension counted upward.
//
// What a download may never do is lose what the user has: the stored body is
// replaced by one rename only once the new one is complete, a partial
// download is restored on every path that leaves a resume, and a resumed
// part is appended only to a partial it provably continues.
//
// Threads: as TVkThread. Everything here runs on the worker thread.

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "engine/vkthread.h"

namespace qv {

class TDLThread : public TVkThread {
 public:
  // Created suspended; Resume starts it.
  TDLThread(TVkThreadList* threadList, TJobContext& context, bool infoOnly, TDLList* queue);
  ~TDLThread() override;

  // Pages larger than this are stored without the base marker: inserting it
  // means holding the whole page in memory.
  static constexpr int64_t MaxMarkedPage = 64 * 1024 * 1024;
  // Partial downloads from this size on are kept for a resume.
  static constexpr int64_t MinResumeSize = 20000;

  // Whether the item just picked is the robots.txt the pick put before the
  // site's first item (the item itself stayed in the queue).
  bool PickedRobotsPlaceholder() const { return FPlaceholder; }

 protected:
  void Execute() override;
  // Once a new body grows into a partial worth resuming, and no stored body
  // has headers of its own, its response headers are stored: a partial that
  // a crash leaves is then resumed only if the server still has the same
  // document, as after any other failure.
  void BodyReceived(int64_t count) override;

 public:  // the steps, public for the tests that drive one of them
  void UseCachedCopy();
  void DownloadHTTPItem();
  void DownloadHTTP(const std::string& acceptTypes);
  void DownloadFTP();
  // Makes a resume of tempFile's partial: renames it to ".tm2" and sets the
  // range start; gives the ".tm2" name, or "" when the download starts from
  // the beginning. A ".tm2" left by an interrupted run is first put back as
  // the partial.
  std::string PrepareResume(const std::string& tempFile);
  // Ends a resume as its answer decides: the new part appended to the
  // earlier one, the earlier one replaced by a whole body, or the earlier one
  // put back. A failed append is result 7 and keeps the ".tm2".
  void JoinResume(const std::string& tempFile, const std::string& resumeFile);
  void AddIfModifiedSince();
  void FinishDownload(const std::string& headers, const std::string& tempFile, int64_t size,
                      int32_t code, bool saveBody, const TFetchFailure& failure = {});

 private:
  // What the answer to a resumed request allows.
  enum TResumeOutcome : uint8_t {
    roRestore,  // nothing usable came: the earlier part goes back
    roAppend,   // a 206 that continues the earlier part exactly
    roReplace,  // a 200: the whole body, the earlier part goes
    roRefused,  // a changed document, a 412/416 or a 206 that lies: start over
  };
  TResumeOutcome JudgeResume() const;
  // What the last hop's answer comes to: a resume joined or given up, a
  // page marked with its address, the body placed, or the failure recorded.
  void TakeHTTPAnswer(const std::string& fetchURL, const std::string& tempFile,
                      const std::string& resumeFile, int64_t finalSize,
                      const TFetchFailure& failure);
  // The item's stored body (any extension but ".tmp"/".tm2"), "" when none.
  std::string StoredBody() const;
  // Puts the new body in place with one replacing rename, then removes the
  // folder's other bodies. False (and nothing changed) when it fails.
  bool PlaceBody(const std::string& tempFile, const std::string& path);
  // Sequence files: every stored body of the URL (path's folder) moves to
  // the next free "AAAA" name with its own extension. False when one cannot.
  bool SequenceBodies(const std::string& path);
  // The partial of a resume that did not reach JoinResume goes back.
  void RestorePartial() noexcept;
  // A skipped or stopped item is recorded as failed (with size): true.
  bool FTPItemStopped(int64_t size);
  // One step of the item's session (Result 0 first): a refusal is recorded
  // with its reply, a time-out on its own; false ends the item.
  bool FTPItemStep(const char* activity, const std::function<bool()>& command);
  // The session for the item, open in the folder target: the open one when
  // it fits, else a new log-on (entry, the host's, is told whether the host
  // answered). False when the item ended (recorded).
  bool OpenFTPFolder(TDNItem* entry, const std::string& target);
  // The file into tempFile, resumed from a partial when allowed. False when
  // the item ended (recorded).
  bool FetchFTPFile(const std::string& fileName, const std::string& tempFile);
  void FailItem(int8_t result, const std::string& statusText);

  std::string FConditionalLine;  // "If-Modified-Since:" line of this item, "" when none
  std::string FIfRangeLine;      // "If-Range:" line of a resume
  std::string FStoredETag;       // the partial's validator
  int64_t FStoredLength = 0;     // the partial's whole length, 0 when unknown
  std::string FResumeTemp;       // the ".tmp"/".tm2" pair of a resume in progress
  std::string FResumeFile;
  bool FHeadersKept = false;  // BodyReceived stored this answer's headers
  bool FPlaceholder = false;
  bool FHasCache = true;  // the cache folder existed when the thread started
};

}  // namespace qv
