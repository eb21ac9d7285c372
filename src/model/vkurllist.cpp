#include "model/vkurllist.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"
#include "model/vkmime.h"
#include "model/weblocal.h"

namespace qv {

namespace {

std::mutex& LocalWebDirLock() {
  static std::mutex m;
  return m;
}
std::string& LocalWebDirValue() {
  static std::string dir;
  return dir;
}

// The folder memo of this thread's status refresh run, when one is open.
thread_local TFolderMemo* RunMemo = nullptr;

// Whether the record's body ("Data" with whatever extension it was stored
// under) is in the local mirror; its content type names the likely one.
bool BodyFileExists(const TVkURLItem& record) {
  return LocalFileExists(GetLocalWebDir(), record.URL, "Data", RunMemo,
                         ExtForMimeType(record.ContentType, SplitURLPath(record.URL).Ext));
}

std::uint8_t RefreshedStatus(std::uint8_t status, const TVkURLItem& record) {
  if (BodyFileExists(record)) return usDownloaded;
  if (status == usDownloaded) return usDeleted;
  return status;
}

// Padding and reserved bytes at a record's end: a file cut inside them has
// lost nothing, so the skip stops quietly at the end of the stream.
void SkipPadding(TStream& stream, std::int64_t count) {
  const std::int64_t n = std::min(count, stream.Remaining());
  if (n > 0) stream.Seek(n, TSeekOrigin::soCurrent);
}

}  // namespace

void SetLocalWebDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(LocalWebDirLock());
  LocalWebDirValue() = dir;
}

std::string GetLocalWebDir() {
  std::lock_guard<std::mutex> lock(LocalWebDirLock());
  return LocalWebDirValue();
}

TStatusRefreshRun::TStatusRefreshRun() {
  if (!RunMemo) {
    Memo = std::make_unique<TFolderMemo>();
    RunMemo = Memo.get();
  }
}

TStatusRefreshRun::~TStatusRefreshRun() {
  if (Memo) RunMemo = nullptr;
}

// --- TVkURLItem -------------------------------------------------------------

TVkURLItem::TVkURLItem(std::string url, std::string foundURL, std::string parentURL,
                       std::uint8_t pageFileFlag, std::string title, std::string imageURL,
                       std::uint8_t checked, std::int32_t size, std::string contentType,
                       std::uint8_t status, std::uint8_t needsCheck, std::string details)
    : Status(status),
      NeedsCheck(needsCheck),
      URL(std::move(url)),
      FoundURL(std::move(foundURL)),
      ParentURL(std::move(parentURL)),
      Checked(checked),
      Details(std::move(details)),
      Size(size),
      ContentType(std::move(contentType)),
      Title(std::move(title)),
      ImageURL(std::move(imageURL)),
      PageFileFlag(pageFileFlag) {}

std::uint8_t TVkURLItem::SetStatus(std::uint8_t code) {
  Status = code;
  NeedsCheck = 0;
  return code;
}

std::uint8_t TVkURLItem::GetStatus() {
  if (NeedsCheck) {
    Status = RefreshedStatus(Status, *this);
    NeedsCheck = 0;
  }
  return Status;
}

const char* StatusText(std::uint8_t code) {
  switch (code) {
    case usNew:
      return "New";
    case usDeleted:
      return "Deleted";
    case usFailed:
      return "Failed";
    case usInfoRetrieved:
      return "Info. retrieved";
    case usDownloaded:
      return "Downloaded";
    case usNotAFile:
      return "Not a file";
    default:
      return "";
  }
}

std::string TVkURLItem::GetStatusText() { return StatusText(GetStatus()); }

void TVkURLItem::Assign(const TVkURLItem& source, bool merge) {
  if (!merge) {
    Status = source.Status;
    NeedsCheck = source.NeedsCheck;
    URL = source.URL;
    FoundURL = source.FoundURL;
    ParentURL = source.ParentURL;
    Checked = source.Checked;
    Details = source.Details;
    Size = source.Size;
    ContentType = source.ContentType;
    Title = source.Title;
    ImageURL = source.ImageURL;
    PageFileFlag = source.PageFileFlag;
    return;
  }
  const std::uint8_t incoming =
      source.NeedsCheck ? RefreshedStatus(source.Status, source) : source.Status;
  // A record marked for checking needs its body looked up only when the
  // answer could change the outcome: refreshed, its status is usDownloaded or
  // usDeleted (from usDownloaded), else usDownloaded or what it was. An incoming status below every
  // answer (a link found again to a downloaded page) merges the same way without the look-up, and
  // the mark stays for the next reader. The look-up lists a folder, and this runs under the list
  // lock that every worker shares.
  const auto lowestRefreshed = [this] {
    return Status == usDownloaded
               ? std::int8_t{usDeleted}
               : std::min<std::int8_t>(usDownloaded, static_cast<std::int8_t>(Status));
  };
  const std::uint8_t own =
      NeedsCheck && static_cast<std::int8_t>(incoming) < lowestRefreshed() ? Status : GetStatus();
  auto fillEmpty = [](std::string& mine, const std::string& theirs) {
    if (mine.empty()) mine = theirs;
  };
  auto takeNonEmpty = [](std::string& mine, const std::string& theirs) {
    if (!theirs.empty()) mine = theirs;
  };
  if (static_cast<std::int8_t>(incoming) < static_cast<std::int8_t>(own)) {
    fillEmpty(FoundURL, source.FoundURL);
    fillEmpty(ParentURL, source.ParentURL);
    fillEmpty(Title, source.Title);
    fillEmpty(ImageURL, source.ImageURL);
    if (Size == 0) Size = source.Size;
    if (PageFileFlag == 0) PageFileFlag = source.PageFileFlag;
    if (Status == usDownloaded) NeedsCheck = 1;
  } else {
    Status = incoming;
    NeedsCheck = 0;  // the source's flag, cleared by its refresh
    Details = source.Details;
    takeNonEmpty(FoundURL, source.FoundURL);
    takeNonEmpty(ContentType, source.ContentType);
    takeNonEmpty(ParentURL, source.ParentURL);
    takeNonEmpty(Title, source.Title);
    takeNonEmpty(ImageURL, source.ImageURL);
    if (source.Size != 0) Size = source.Size;
    if (source.PageFileFlag != 0) PageFileFlag = source.PageFileFlag;
  }
}

void TVkURLItem::SaveToStream(TStream& stream) const {
  WriteStreamString(stream, URL);
  WriteStreamByte(stream, PageFileFlag);
  WriteStreamString(stream, Title);
  WriteStreamByte(stream, Checked);
  WriteStreamInt32(stream, Size);
  WriteStreamByte(stream, Status);
  WriteStreamString(stream, Details);
  WriteStreamByte(stream, 0);
  WriteStreamString(stream, ImageURL);
  WriteStreamString(stream, ContentType);
  WriteStreamString(stream, "");
  WriteStreamString(stream, ParentURL);
  WriteStreamString(stream, FoundURL);
  WriteStreamByte(stream, LinkFlags);
  WriteStreamZeros(stream, 15);
}

void TVkURLItem::LoadFromStream(TStream& stream) {
  URL = ReadStreamString(stream);
  PageFileFlag = ReadStreamByte(stream);
  Title = ReadStreamString(stream);
  Checked = ReadStreamByte(stream);
  Size = ReadStreamInt32(stream);
  Status = ReadStreamByte(stream);
  Details = ReadStreamString(stream);
  ReadStreamByte(stream);
  ImageURL = ReadStreamString(stream);
  ContentType = ReadStreamString(stream);
  ReadStreamString(stream);
  ParentURL = ReadStreamString(stream);
  FoundURL = ReadStreamString(stream);
  ReadStreamByte(stream);
  LinkFlags = 0;
  SkipPadding(stream, 15);
}

// --- TVkURLList -------------------------------------------------------------

TVkURLList::~TVkURLList() { ClearItems(); }

int TVkURLList::IndexOfURL(const std::string& url) const {
  const std::string_view key = URLKeyOf(url);
  const TVkURLItem* last = Index.Last();
  if (!last) return -1;
  const int c = key.compare(URLKeyOf(last->URL));
  if (c > 0) return ~Count();
  if (c == 0) return Count() - 1;
  TURLIndex::TPosition pos;
  Index.Find(key, pos);
  return pos.Found ? pos.Index : ~pos.Index;
}

TVkURLItem* TVkURLList::FindItem(const std::string& url) const {
  const int i = IndexOfURL(url);
  return i < 0 ? nullptr : Index.At(i);
}

std::string TVkURLList::GetDragOutName(const std::string& url, std::string* original) const {
  if (original) original->clear();
  const std::string root = GetLocalWebDir();
  if (!root.empty()) {
    std::string renamed = RenameLocalCopy(root, url, original);
    if (!renamed.empty()) return renamed;
  }
  if (const TVkURLItem* item = FindItem(url)) return item->URL;
  return url;
}

int TVkURLList::AddItem(const TVkURLItem& record, bool /*append*/) {
  // The copy is the blank record with every field but LinkFlags taken over.
  auto copy = std::make_unique<TVkURLItem>(record);
  return AddOwned(copy);
}

int TVkURLList::AddOwned(std::unique_ptr<TVkURLItem>& item) {
  item->LinkFlags = 0;
  const std::string_view key = URLKeyOf(item->URL);
  TVkURLItem* last = Index.Last();
  const int c = last ? key.compare(URLKeyOf(last->URL)) : 1;
  if (c > 0) {
    Index.Append(item.get());
    item.release();
    return Count() - 1;
  }
  if (c == 0) {
    last->Assign(*item, true);
    return Count() - 1;
  }
  TURLIndex::TPosition pos;
  Index.Find(key, pos);
  if (pos.Found) {
    Index.At(pos.Index)->Assign(*item, true);
    return pos.Index;
  }
  Index.Insert(pos, item.get());
  item.release();
  return pos.Index;
}

int TVkURLList::Adopt(TVkURLItem* raw, bool /*append*/) {
  // Append mode too takes the ordered add below the last key (see header).
  std::unique_ptr<TVkURLItem> item(raw);
  return AddOwned(item);
}

TVkURLItem* TVkURLList::GetItem(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return Index.At(index);
}

void TVkURLList::DeleteItem(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  delete Index.Erase(index);
}

void TVkURLList::ClearItems() {
  Index.Clear([](TVkURLItem* item) { delete item; });
}

void TVkURLList::SaveToStream(TStream& stream, const TStatusTextProc& status) const {
  const int count = Count();
  WriteStreamInt32(stream, count);
  int i = 0;
  Index.ForEach([&](const TVkURLItem* item) {
    if (status && i % 100 == 0)
      status("Saving URL " + std::to_string(i + 1) + " of " + std::to_string(count));
    item->SaveToStream(stream);
    ++i;
  });
  WriteStreamZeros(stream, 200);
  if (status) status("URL list saved");
}

void TVkURLList::LoadFromStream(TStream& stream, const TStatusTextProc& status) {
  ClearItems();
  const std::int32_t count = ReadStreamInt32(stream);
  if (count < 0) throw EInOutError(kErrorReadingFile);
  for (std::int32_t i = 0; i < count; ++i) {
    if (status && i % 100 == 0)
      status("Loading URL " + std::to_string(i + 1) + " of " + std::to_string(count));
    auto item = std::make_unique<TVkURLItem>();
    item->LoadFromStream(stream);
    item->NeedsCheck = 1;
    Adopt(item.release(), true);
  }
  SkipPadding(stream, 200);
  if (status) status("URL list loaded");
}

}  // namespace qv
