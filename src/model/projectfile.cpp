#include "model/projectfile.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "model/leregistry.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "platform/atomicfile.h"
#include "platform/progfolder.h"

namespace qv {

namespace {

constexpr int kFilterSectionPadding = 200;
constexpr int kRootRowPadding = 100;
// A root row is at least its string count, its block count and its padding.
constexpr std::int64_t kMinRootRowBytes = 4 + 4 + kRootRowPadding;

[[noreturn]] void RaiseRead() { throw EInOutError(kErrorReadingFile); }

void WriteInt32Block(TStream& st, std::uint32_t value) {
  const unsigned char b[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  WriteStreamBlock(st, b, 4);
}

std::uint32_t ReadInt32Block(TStream& st) {
  unsigned char b[4] = {};
  ReadStreamBlock(st, b, 4);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void WriteRows(TStream& st, const std::vector<TAtrRow>& rows) {
  WriteStreamInt32(st, static_cast<std::int32_t>(rows.size()));
  for (const auto& r : rows) {
    WriteStreamString(st, r.Text);
    WriteStreamInt32(st, static_cast<std::int32_t>(r.Attr));
  }
}

std::vector<TAtrRow> ReadRows(TStream& st) {
  const std::int32_t n = ReadStreamInt32(st);
  // Each row takes at least eight bytes: a count the stream cannot hold
  // fails before anything is reserved for it.
  if (n < 0 || static_cast<std::int64_t>(n) * 8 > st.Remaining()) RaiseRead();
  std::vector<TAtrRow> rows;
  rows.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    TAtrRow r;
    r.Text = ReadStreamString(st);
    r.Attr = static_cast<std::uint32_t>(ReadStreamInt32(st));
    rows.push_back(std::move(r));
  }
  return rows;
}

bool IsFolder(const std::string& name) {
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPlainFile(const std::string& name) {
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& name) {
  const std::string native = NativePath(name);
  const std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return "";
  return native.substr(0, slash == 0 ? 1 : slash);
}

std::string NameWithoutFolder(const std::string& name) {
  const std::string native = NativePath(name);
  const std::size_t slash = native.rfind('/');
  return slash == std::string::npos ? native : native.substr(slash + 1);
}

// The permission bits a new file gets from this process's umask, read
// without changing it (umask() itself would, for every thread at once).
mode_t NewFileMode() {
  mode_t mask = 022;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
      break;
    }
  }
  return 0666 & ~mask;
}

// A write-only stream into a file that replaces its name only once the last
// byte is stored (TAtomicFile), buffered so the many small records of a
// large list cost few system calls.
class TAtomicWriteStream : public TStream {
 public:
  explicit TAtomicWriteStream(const std::string& fileName) {
    const std::string native = NativePath(fileName);
    struct stat st;
    // A project rewritten in place keeps the permissions it had.
    const mode_t mode = ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                            ? (st.st_mode & 07777)
                            : NewFileMode();
    if (!File.Open(native, mode))
      throw EFOpenError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    Buffer.reserve(kBufferSize);
  }

  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void* buffer, std::size_t count) override {
    if (Failed) return 0;
    if (Buffer.size() + count > kBufferSize && !FlushBuffer()) return 0;
    if (count >= kBufferSize) {
      if (!File.Write({static_cast<const char*>(buffer), count})) {
        Failed = true;
        return 0;
      }
    } else {
      Buffer.append(static_cast<const char*>(buffer), count);
    }
    Written += static_cast<std::int64_t>(count);
    return count;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    // Only asked where it stands; a writer of records never moves.
    return offset == 0 && origin != TSeekOrigin::soBeginning ? Written : -1;
  }
  std::int64_t Size() override { return Written; }

  // Stores the buffer, flushes the file to disk and renames it over the
  // name; "Error writing file" when any of it failed.
  void Commit() {
    if (!FlushBuffer() || !File.Commit()) throw EInOutError(kErrorWritingFile);
  }

 private:
  static constexpr std::size_t kBufferSize = 256 * 1024;

  bool FlushBuffer() {
    if (!Failed && !Buffer.empty() && !File.Write(Buffer)) Failed = true;
    Buffer.clear();
    return !Failed;
  }

  TAtomicFile File;
  std::string Buffer;
  std::int64_t Written = 0;
  bool Failed = false;
};

// Holds the busy cursor for one scope.
class TBusy {
 public:
  explicit TBusy(TProjectView& view) : View(view) { View.SetBusy(true); }
  ~TBusy() { View.SetBusy(false); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  TProjectView& View;
};

}  // namespace

// --- format -----------------------------------------------------------------

void SaveProjectFilters(TStream& st, const TViewFilter& f) {
  for (TComboChoice c : {f.DLFilesCombo, f.ChkFilesCombo, f.NewFilesCombo, f.FailedFilesCombo,
                         f.DelFilesCombo, f.WebPgFilesCombo, f.ImageLinksCombo})
    WriteStreamString(st, ComboChoiceText(c));
  WriteStreamByte(st, f.LimitAdditionsChk ? 1 : 0);
  WriteStreamByte(st, f.AutoUpChk ? 1 : 0);
  WriteStreamString(st, f.MinSizeEd);
  WriteStreamString(st, f.MaxSizeEd);
  WriteRows(st, f.FilGrid);
  WriteStreamZeros(st, kFilterSectionPadding);
}

void LoadProjectFilters(TStream& st, TViewFilter& out) {
  TViewFilter f = out;
  for (TComboChoice* c : {&f.DLFilesCombo, &f.ChkFilesCombo, &f.NewFilesCombo, &f.FailedFilesCombo,
                          &f.DelFilesCombo, &f.WebPgFilesCombo, &f.ImageLinksCombo})
    *c = ComboChoiceFromText(ReadStreamString(st));
  f.LimitAdditionsChk = ReadStreamByte(st) != 0;
  f.AutoUpChk = ReadStreamByte(st) != 0;
  f.MinSizeEd = ReadStreamString(st);
  f.MaxSizeEd = ReadStreamString(st);
  f.FilGrid = ReadRows(st);
  SkipStreamBytes(st, kFilterSectionPadding);
  out = std::move(f);
}

void SaveRootURLs(TStream& st, const std::vector<TAtrRow>& rows) {
  WriteInt32Block(st, static_cast<std::uint32_t>(rows.size()));
  for (const auto& r : rows) {
    WriteStreamString(st, r.Text);
    WriteInt32Block(st, r.Attr);
    WriteStreamZeros(st, kRootRowPadding);
  }
}

std::vector<TAtrRow> LoadRootURLs(TStream& st) {
  const auto n = static_cast<std::int32_t>(ReadInt32Block(st));
  if (n < 0 || static_cast<std::int64_t>(n) * kMinRootRowBytes > st.Remaining()) RaiseRead();
  std::vector<TAtrRow> rows;
  rows.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    TAtrRow r;
    r.Text = ReadStreamString(st);
    r.Attr = ReadInt32Block(st);
    SkipStreamBytes(st, kRootRowPadding);
    rows.push_back(std::move(r));
  }
  return rows;
}

void WriteMirrorProject(TStream& st, const TProjectValues& v, const TVkURLList& list,
                        const TStatusTextProc& status) {
  if (st.Write(kProjectSignature, kProjectSignatureSize) != kProjectSignatureSize)
    throw EInOutError(kErrorWritingFile);
  SaveProjectSettings(st, v.Settings, v.MimeFilter);
  SaveProjectFilters(st, v.ViewFilter);
  SaveRootURLs(st, v.RootURLs);
  list.SaveToStream(st, status);
}

void ReadMirrorProject(TStream& st, TProjectValues& out, TVkURLList& list,
                       const TStatusTextProc& status) {
  list.ClearItems();
  if (st.Remaining() == 0) return;
  char head[kProjectSignatureSize] = {};
  if (st.Read(head, sizeof head) != sizeof head ||
      std::memcmp(head, kProjectSignature, sizeof head) != 0)
    throw EInOutError(kFileFormatError);
  TProjectValues v = out;
  LoadProjectSettings(st, v.Settings, v.MimeFilter);
  LoadProjectFilters(st, v.ViewFilter);
  v.RootURLs = LoadRootURLs(st);
  list.LoadFromStream(st, status);
  out = std::move(v);
}

bool IsMirrorProjectFile(const std::string& fileName) {
  if (!IsPlainFile(fileName)) return false;
  std::ifstream f(NativePath(fileName), std::ios::binary);
  char head[kProjectSignatureSize] = {};
  if (!f.read(head, sizeof head)) return false;
  return std::memcmp(head, kProjectSignature, sizeof head) == 0;
}

std::string MirrorProjectsFolder() { return ProgramFolder() + "/MirrorProjects"; }
std::string NoNameProjectFile() { return MirrorProjectsFolder() + "/NoName.mpj"; }
std::string DefaultProjectFile() { return MirrorProjectsFolder() + "/Default.mpj"; }

std::string ProjectCaption(const std::string& fileName) {
  return "Mirror Project:  " +
         (fileName.empty() ? std::string("NULL") : NameWithoutFolder(fileName));
}

// --- session ----------------------------------------------------------------

TProjectSession::TProjectSession(TProjectView& view, TPrompter& prompter, TVkURLList& list,
                                 TCriticalSection& listLock, TProjectPublishers publishers)
    : View(view), Prompter(prompter), List(list), ListLock(listLock), Published(publishers) {}

TProjectValues TProjectSession::Values() const {
  TProjectValues v;
  v.Settings = *Published.Settings->Get();
  v.MimeFilter = *Published.MimeFilter->Get();
  v.ViewFilter = *Published.ViewFilter->Get();
  v.RootURLs = RootRows;
  return v;
}

void TProjectSession::SetLocalWebDir(const std::string& dir) {
  WebDir = dir;
  qv::SetLocalWebDir(dir);
}

void TProjectSession::Named(const std::string& name, const char* statusText) {
  FileName = name;
  View.SetCaption(ProjectCaption(name));
  RegWriteString(RegCurrentURLFile, name);
  SetModified(false);
  if (statusText) View.SetStatusText(statusText);
}

void TProjectSession::SaveMirrorProject(const std::string& fileName) {
  std::string name = fileName;
  if (!IsValidPath(name) || IsFolder(name)) {
    const std::string fallback = NoNameProjectFile();
    Prompter.ShowMessage("The current \"Mirror project\" file has an invalid name:-\n" + name +
                         "\nIt will be saved to the file:-\n" + fallback +
                         "\nThis should be renamed as soon as posible if you want to preserve "
                         "its contents");
    name = fallback;
    // A fallback that is no better (no program folder, a folder of that
    // name) would be offered again for ever.
    if (!IsValidPath(name) || IsFolder(name)) throw EInOutError(kErrorWritingFile);
  }
  ForceDirs(FolderOf(name));
  {
    TBusy busy(View);
    const TProjectValues values = Values();
    TAtomicWriteStream out(name);
    if (out.Write(kProjectSignature, kProjectSignatureSize) != kProjectSignatureSize)
      throw EInOutError(kErrorWritingFile);
    SaveProjectSettings(out, values.Settings, values.MimeFilter);
    SaveProjectFilters(out, values.ViewFilter);
    SaveRootURLs(out, values.RootURLs);
    {
      // Workers may still be adding; the pass lets no messages run, so it
      // holds the lock throughout.
      std::lock_guard<TCriticalSection> lock(ListLock);
      List.SaveToStream(out, [this](const std::string& t) { View.SetStatusText(t); });
    }
    out.Commit();
  }
  // A save cut short by a crash leaves its partial copy, as large as the
  // project, hidden beside it; only this save can be writing one now.
  RemoveLeftoverTemporaries(NativePath(name));
  Named(name, kMirrorProjectSaved);
}

void TProjectSession::ClearMirrorProject() {
  RootRows.clear();
  View.ClearRootURLs();
  {
    std::lock_guard<TCriticalSection> lock(ListLock);
    List.ClearItems();
  }
  View.RefreshURLList();
}

void TProjectSession::LoadMirrorProject(const std::string& fileName) {
  std::string name = fileName;
  ClearMirrorProject();
  try {
    std::string source = name;
    if (!IsPlainFile(name)) {
      source = DefaultProjectFile();
      if (!IsValidPath(name) || IsFolder(name)) {
        Prompter.ShowMessage("Invalid file name:-\n\n" + name);
        name = NoNameProjectFile();
      }
      ForceDirs(FolderOf(name));
    }
    TBusy busy(View);
    TProjectValues values = Values();
    values.RootURLs.clear();
    TVkURLList loaded;
    bool read = false;
    if (IsPlainFile(source)) {
      TFileStream in(source, TFileStream::TMode::fmOpenRead);
      ReadMirrorProject(in, values, loaded,
                        [this](const std::string& t) { View.ShowLoadProgress(t); });
      read = in.Size() > 0;
    }
    if (read) {
      // Published first: the windows show what they are given and publish
      // it again as their controls hold it.
      Published.Settings->Publish(values.Settings);
      Published.MimeFilter->Publish(values.MimeFilter);
      Published.ViewFilter->Publish(values.ViewFilter);
      RootRows = values.RootURLs;
      View.ShowProject(values);
      SetLocalWebDir(values.Settings.LocWebEd);
      std::lock_guard<TCriticalSection> lock(ListLock);
      List.Swap(loaded);
    }
  } catch (...) {
    ClearMirrorProject();
    FileName.clear();
    View.SetCaption(ProjectCaption(""));
    RegWriteString(RegCurrentURLFile, "");
    throw;
  }
  Named(name, kMirrorProjectLoaded);
}

bool TProjectSession::OpenMirrorProject() {
  // A name that does not exist starts a new project from the template.
  std::string chosen =
      Prompter.ChooseOpenOrNewFile("Open", FolderOf(FileName), kProjectFileFilter, "mpj");
  if (chosen.empty()) return false;
  // The dialog's default extension: a typed name without one gets ".mpj".
  const std::string own = NameWithoutFolder(chosen);
  if (own.find('.') == std::string::npos && !IsPlainFile(chosen)) chosen += ".mpj";
  // A failed save raises here: loading would clear the unsaved work.
  if (Modified()) SaveMirrorProject(FileName);
  LoadMirrorProject(chosen);
  return true;
}

bool TProjectSession::ValidateLocalWebDir() {
  if (ForceDirs(WebDir)) return true;
  Prompter.ShowMessage(kInvalidLocalWebDir);
  const std::string folder = Prompter.ChooseFolder("", Published.Settings->Get()->LocWebEd);
  if (folder.empty()) return false;
  SetLocalWebDir(folder);
  TSettings settings = *Published.Settings->Get();
  settings.LocWebEd = folder;
  Published.Settings->Publish(std::move(settings));
  View.SetLocalWebDirText(folder);
  return true;
}

}  // namespace qv
