// The master URL list: one TVkURLItem for every URL the program has met,
// kept in ascending order of its key (the URL less one trailing "/", compared
// as unsigned bytes), with no two records of one key.
//
// Lookup, insertion and access by index are logarithmic (see urlindex.h), so
// a crawl that meets millions of URLs never moves the records after an
// insertion point. The list has no lock of its own: threads other than the
// user-interface thread reach it only under the URL-list lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/urlindex.h"

class TProgressSink;

namespace qv {

class TStream;

// The local mirror directory that status refreshes look in (the main
// window's local web directory). Safe to call from any thread.
void SetLocalWebDir(const std::string& dir);
std::string GetLocalWebDir();

struct TFolderMemo;

// A run of status refreshes on this thread that share what they learn of the
// mirror's folders (LocalFileExists with a memo): a folder found missing is
// not looked at again while the run lasts, so a stretch of records in key
// order costs a look or two per folder instead of two per record. Open one
// only around a stretch in which no record's body is expected to appear,
// such as one locked batch of a walk over the list: a download stores its
// body and then sets its record's status itself. Runs nest (the outer one
// holds the memo).
class TStatusRefreshRun {
 public:
  TStatusRefreshRun();
  ~TStatusRefreshRun();
  TStatusRefreshRun(const TStatusRefreshRun&) = delete;
  TStatusRefreshRun& operator=(const TStatusRefreshRun&) = delete;

 private:
  std::unique_ptr<TFolderMemo> Memo;
};

// The status codes of a record. They are what the project file stores and
// what merges compare (as signed bytes: a higher code wins), so their values
// never change; a stored byte outside them is kept and has no text.
enum TURLStatus : std::uint8_t {
  usNew = 10,            // "New": met, not fetched yet
  usDeleted = 20,        // "Deleted": was downloaded, its body file has gone
  usFailed = 30,         // "Failed": the last fetch came to nothing
  usInfoRetrieved = 40,  // "Info. retrieved": headers only, by an information job
  usDownloaded = 50,     // "Downloaded": its body file is in the local mirror
  usNotAFile = 60,       // "Not a file": a mail address, never fetched
};

class TVkURLItem {
 public:
  // The blank record: every string "", Status usNew, everything else 0.
  TVkURLItem() = default;
  TVkURLItem(std::string url, std::string foundURL, std::string parentURL,
             std::uint8_t pageFileFlag, std::string title, std::string imageURL,
             std::uint8_t checked, std::int32_t size, std::string contentType, std::uint8_t status,
             std::uint8_t needsCheck, std::string details);

  // Sets Status, clears NeedsCheck and gives the code back.
  std::uint8_t SetStatus(std::uint8_t code);
  // Status, refreshed first when NeedsCheck is set: a body file in the local
  // mirror makes it usDownloaded; without one, usDownloaded becomes usDeleted
  // and any other status stays. NeedsCheck is cleared.
  std::uint8_t GetStatus();
  // The text of GetStatus(): "New", "Deleted", ...; "" for unknown codes.
  std::string GetStatusText();

  // merge off: copies every field but LinkFlags.
  // merge on: both statuses are refreshed and compared as signed bytes. A
  // lower incoming status leaves Status, Details, ContentType and Checked and
  // fills only this record's empty fields (a kept usDownloaded is checked
  // again on its next read); an equal or higher one brings its Status, NeedsCheck and
  // Details, and its non-empty fields. URL, Checked and LinkFlags never
  // change. The source is not modified: its status is refreshed in a copy.
  void Assign(const TVkURLItem& source, bool merge);

  // One record in the project file's URL-record layout. Loading keeps the
  // fields the record stores; reserved fields are read and dropped, LinkFlags
  // reads as 0, NeedsCheck is left as it was. Raises EInOutError.
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

  std::uint8_t Status = usNew;
  std::uint8_t NeedsCheck = 0;
  std::string URL;
  std::string FoundURL;
  std::string ParentURL;
  std::uint8_t Checked = 0;
  std::string Details;
  std::int32_t Size = 0;  // 0 unknown, -1 set by the link extractor
  std::string ContentType;
  std::string Title;
  std::string ImageURL;
  std::uint8_t PageFileFlag = 0;
  std::uint8_t LinkFlags = 0;  // reserved, always 0
};

// The text of a status code; "" for codes without one.
const char* StatusText(std::uint8_t code);

// An index outside the list.
class EListError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Receives the progress texts of the stream passes ("Loading URL 101 of
// 5000", "URL list saved"); the main window shows them in its status bar.
using TStatusTextProc = std::function<void(const std::string&)>;

// What a stored body is to the localising pass, by its content type: the
// media type's name compared ignoring case, parameters and blanks dropped
// ("Text/HTML; charset=utf-8" is a page; RFC 9110 8.3.1).
enum class TStoredTextKind { Other, Page, StyleSheet };
TStoredTextKind StoredTextKind(std::string_view contentType);

// Rewrites the stored copy of url under dir (a page or a style sheet) and
// stops early once abort is set. May raise EInOutError; may let window
// messages run, so the list can change meanwhile.
using TLocaliseFileProc =
    std::function<void(TStoredTextKind kind, const std::string& url, const std::string& dir,
                       const std::atomic<bool>& abort)>;
// The URL as the progress window can show it (shortened to its label's
// width, the middle cut out); without one the URL is shown whole.
using TFitTextProc = std::function<std::string(const std::string&)>;

struct TLocaliseSummary {
  bool Ran = false;      // false: the progress window was held by another pass
  bool Aborted = false;  // the user ended the pass
  int Rewritten = 0;     // stored pages and style sheets rewritten
  int Failed = 0;        // stored files that could not be rewritten
  std::string FirstError;
};

// One line for the status bar naming how many files a pass could not
// rewrite and the first error; "" when none failed.
std::string LocaliseFailureText(const TLocaliseSummary& summary);

class TVkURLList {
 public:
  TVkURLList() = default;
  ~TVkURLList();
  TVkURLList(const TVkURLList&) = delete;
  TVkURLList& operator=(const TVkURLList&) = delete;

  int Count() const { return Index.Count(); }

  // The index of the record with the URL's key, or ~p for the index p where
  // it would be inserted (-1 for an empty list). A key above the last
  // record's is answered by one comparison.
  int IndexOfURL(const std::string& url) const;
  // The record with the URL's key, or nullptr.
  TVkURLItem* FindItem(const std::string& url) const;

  // The name handed out when the URL is dragged out of the main window: its
  // stored copy renamed to a readable name (RenameLocalCopy under the local
  // mirror directory) when there is one, else the listed record's URL, else
  // the URL as given. Called under URLListLock, like every other read. With
  // original, the copy's name before the rename ("" when no copy was named).
  std::string GetDragOutName(const std::string& url, std::string* original = nullptr) const;

  // Adds a copy of the record (the caller keeps its own) and gives its index.
  // append off: a new key is inserted in order; a known key is merged into
  // the record already there (Assign with merge). append on (the loader):
  // the copy goes at the end when its key is above the last one; a record out
  // of order falls back to the ordered add, so a damaged file cannot break
  // later lookups. A failure to build the copy frees it and passes on.
  int AddItem(const TVkURLItem& record, bool append);
  // The ordered add (append off) of a record made beforehand, so that the
  // allocation can happen before the list lock is taken: a new key takes the
  // record over and leaves `item` null; a known key is merged from it (as
  // AddItem does) and `item` stays with the caller. LinkFlags is set to 0.
  int AddOwned(std::unique_ptr<TVkURLItem>& item);

  // The record at an index; EListError outside [0, Count()).
  TVkURLItem* GetItem(int index) const;
  // Frees the record at an index and removes it; EListError outside the list.
  void DeleteItem(int index);
  // Frees every record, in time linear in their number.
  void ClearItems();
  // Exchanges the records of two lists in constant time (a list read aside
  // becomes the master list in one step).
  void Swap(TVkURLList& other) noexcept { Index.Swap(other.Index); }

  // The URL list stream of the project file: int32 count, the records, 200
  // zero bytes. Raises EInOutError; status texts go to `status` when given.
  void SaveToStream(TStream& stream, const TStatusTextProc& status = {}) const;
  // Clears the list, then reads the stream; every loaded record has NeedsCheck
  // set. On failure the records read so far stay and the error passes on.
  void LoadFromStream(TStream& stream, const TStatusTextProc& status = {});

  // The two passes over the whole list, run on the user-interface thread
  // while the sink shows progress (its ShowText refused means another pass
  // holds it: nothing runs). Each takes URLListLock (when the globals exist)
  // only per step, never across the sink's progress points or a rewrite,
  // since those let other commands run and delete records or load a project:
  // records are walked by index against the count read at each step. The
  // sink is hidden on every way out.

  // Marks every record for a status refresh against the local mirror.
  // cancelDrag (when given) first renames drag-out copies back. False when
  // aborted or refused.
  bool UpdateStatusInfo(TProgressSink& sink, const std::function<void()>& cancelDrag = {});

  // Rewrites the links of every stored page and style sheet under dir through
  // localise, given the sink's close request as its abort flag. A rewrite cut
  // short by a close request is taken again after the sink's progress point
  // has asked whether to abort (a rewrite is idempotent, so retaking a half
  // rewritten file gives what one whole rewrite gives). A file that cannot
  // be rewritten is counted and the pass goes on.
  TLocaliseSummary LocaliseReferences(const std::string& dir, TProgressSink& sink,
                                      const TLocaliseFileProc& localise,
                                      const TFitTextProc& fit = {});

  // Bytes held by the ordering structure (not by the records).
  std::size_t IndexMemoryUsed() const { return Index.MemoryUsed(); }

 private:
  int Adopt(TVkURLItem* item, bool append);  // takes ownership

  TURLIndex Index;
};

}  // namespace qv
