#include "engine/idftpext.h"

#include <sys/stat.h>

#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "platform/atomicfile.h"

namespace qv {

namespace {

// The last-resort password of an anonymous log-on.
const char* const kPlaceholderEmail = "guest@example.com";

// A whole file on its way in: written from its start to a temporary file
// beside the name (made at the first byte) that replaces the file at the name
// only on Commit, so a failed transfer leaves that file as it was.
class TReplacementFile : public TByteStream {
 public:
  TReplacementFile(std::string path, mode_t mode) : FPath(std::move(path)), FMode(mode) {}
  void Write(const char* data, size_t n) override {
    Open();
    if (!FFile.Write(std::string_view(data, n)))
      throw EByteStreamError("Cannot write a file beside " + FPath);
    FSize += static_cast<int64_t>(n);
  }
  size_t Read(char*, size_t) override { throw EByteStreamError("A new file is not read back"); }
  int64_t Size() const override { return FSize; }
  int64_t Position() const override { return FSize; }
  // The file is written in one run from its start: only its end is a place.
  void Seek(int64_t position) override {
    if (position != FSize) throw EByteStreamError("A new file is written in one run");
  }
  void SetSize(int64_t size) override {
    if (size != FSize) throw EByteStreamError("A new file is written in one run");
  }
  // Puts the bytes written (none: an empty file) in place of the file.
  void Commit() {
    Open();
    if (!FFile.Commit()) throw EByteStreamError("Cannot replace file " + FPath);
  }

 private:
  void Open() {
    if (!FOpen && !FFile.Open(FPath, FMode))
      throw EByteStreamError("Cannot create a file beside " + FPath);
    FOpen = true;
  }
  std::string FPath;
  mode_t FMode;
  TAtomicFile FFile;
  bool FOpen = false;
  int64_t FSize = 0;
};

}  // namespace

// Busy from the first step of an operation to its end; nested operations
// (ChangeAbsDir calls GetCurrentDir and ChangeDir) keep it set. An outermost
// operation starts with no failure noted.
class TIdFTPExt::TBusyScope {
 public:
  explicit TBusyScope(TIdFTPExt& f) : F(f), L(f.FOpLock) {
    if (F.FDepth++ == 0) {
      F.Busy.store(1);
      F.LastFailure = {};
    }
  }
  ~TBusyScope() {
    if (--F.FDepth == 0) F.Busy.store(0);
  }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TIdFTPExt& F;
  std::lock_guard<std::recursive_mutex> L;
};

TIdFTPExt::TIdFTPExt() = default;

TIdFTPExt::~TIdFTPExt() = default;

std::vector<std::string> PathSegments(const std::string& text, size_t from) {
  std::vector<std::string> out;
  size_t i = std::min(from, text.size());
  while (i < text.size()) {
    size_t end = text.find('/', i);
    if (end == std::string::npos) end = text.size();
    if (end > i) out.push_back(text.substr(i, end - i));
    i = end + 1;
  }
  return out;
}

namespace {

// The server and log-on ConnectExt uses for url when the client holds the
// given preset user and password.
TFTPLogOnInfo LogOnFor(const std::string& url, const std::string& defaultPassword,
                       const std::string& presetUser, const std::string& presetPassword) {
  TFTPLogOnInfo info =
      GetFTPLogOnInfo(EscapeURL(NormaliseURL(CollapseURLSlashes(url))), defaultPassword);
  if (info.User.empty()) info.User = "anonymous";
  if (info.Password.empty()) info.Password = kPlaceholderEmail;
  if (!presetUser.empty()) info.User = presetUser;
  if (!presetPassword.empty()) info.Password = presetPassword;
  return info;
}

}  // namespace

bool TIdFTPExt::ConnectExt(const std::string& url, const std::string& defaultPassword) {
  TBusyScope busy(*this);
  HostUnreachable = false;
  try {
    const TFTPLogOnInfo info = LogOnFor(url, defaultPassword, User, Password);
    if (info.Host.empty()) {
      LastFailure = {TFailKind::fkNotSent, 0, "No host in the URL"};
      return false;
    }
    Host = info.Host;
    User = info.User;
    Password = info.Password;
    Connect(true);
    return true;
  } catch (...) {
    NoteFailure();
    HostUnreachable = LastFailure.Kind == TFailKind::fkUnreachable;
    return false;
  }
}

bool TIdFTPExt::SessionFits(const std::string& url, const std::string& defaultPassword,
                            const std::string& presetUser,
                            const std::string& presetPassword) const {
  if (!Connected()) return false;
  const TFTPLogOnInfo info = LogOnFor(url, defaultPassword, presetUser, presetPassword);
  return Host == info.Host && User == info.User && Password == info.Password;
}

std::string TIdFTPExt::GetCurrentDir() {
  TBusyScope busy(*this);
  try {
    return RetrieveCurrentDir();
  } catch (...) {
    NoteFailure();
    return "";
  }
}

bool TIdFTPExt::ChangeDir(const std::string& dir) {
  TBusyScope busy(*this);
  try {
    TIdFTP::ChangeDir(dir);
    return true;
  } catch (...) {
    NoteFailure();
    return false;
  }
}

bool TIdFTPExt::ChangeAbsDir(const std::string& path) {
  TBusyScope busy(*this);
  try {
    const std::string cur = GetCurrentDir();
    if (cur.empty()) {
      if (!LastFailure.Failed())
        LastFailure = {TFailKind::fkProtocol, ReplyCode, "No folder in the reply to PWD"};
      return false;
    }
    if (cur == path) return true;
    const size_t n = static_cast<size_t>(std::max(0, CommonPathLength(cur, path)));
    std::vector<std::string> steps;
    if (!path.empty() && path[0] == '/')
      for (size_t k = PathSegments(cur, n).size(); k > 0; --k) steps.push_back("..");
    for (const std::string& s : PathSegments(path, n)) steps.push_back(s);
    for (const std::string& s : steps) {
      if (!ChangeDir(s)) return false;
      if (OnChangeDir) OnChangeDir(this);
    }
    return true;
  } catch (...) {
    NoteFailure();
    return false;
  }
}

bool TIdFTPExt::List(std::vector<std::string>& list) {
  TBusyScope busy(*this);
  list.clear();
  try {
    TIdFTP::List(list, "", true);
    return true;
  } catch (...) {
    NoteFailure();
    list.clear();
    return false;
  }
}

bool TIdFTPExt::DownloadExt(const std::string& remoteFile, const std::string& localFile) {
  TBusyScope busy(*this);
  try {
    Get(remoteFile, localFile, true);
    return true;
  } catch (...) {
    NoteFailure();
    return false;
  }
}

bool TIdFTPExt::DownloadRestoreExt(const std::string& remoteFile, const std::string& localFile) {
  TBusyScope busy(*this);
  try {
    TFileByteStream file(localFile, TFileByteStream::fmOpenReadWrite);
    struct stat st {};
    if (::stat(localFile.c_str(), &st) != 0) throw EByteStreamError("Cannot read " + localFile);
    // A whole file replaces the partial one only once it is complete.
    TReplacementFile whole(localFile, st.st_mode & 0777);
    bool appended = false;
    if (Passive)
      Get(remoteFile, whole);
    else
      appended = RestoreGet(remoteFile, file, whole);
    file.Close();
    if (!appended) whole.Commit();
    return true;
  } catch (...) {
    NoteFailure();
    return false;
  }
}

bool TIdFTPExt::ModeExt(TIdFTPTransferType transferType) {
  TBusyScope busy(*this);
  try {
    SetTransferType(transferType);
    return true;
  } catch (...) {
    NoteFailure();
    return false;
  }
}

void TIdFTPExt::NoteFailure() noexcept {
  try {
    // A multi-line reply becomes one line of details text, with its code.
    LastFailure = FailureOf(std::current_exception(), ReplyCode);
    if (LastFailure.OnStatus())
      LastFailure.Text = std::to_string(LastFailure.Code) + " " + LastFailure.Text;
  } catch (...) {
  }
}

void TIdFTPExt::AbortExt() {
  std::lock_guard<std::mutex> g(Lock);
  try {
    Abort();
  } catch (...) {
  }
}

void TIdFTPExt::DisconnectSocketExt() noexcept {
  try {
    std::lock_guard<std::mutex> g(Lock);
    try {
      Abort();
    } catch (...) {
    }
    Cut();
  } catch (...) {
  }
}

void TIdFTPExt::QuitExt() {
  std::unique_lock<std::recursive_mutex> op(FOpLock, std::try_to_lock);
  if (!op.owns_lock()) {
    // Another thread is in an operation: only cut, and leave the rest to
    // the worker (it calls QuitExt itself before its next log-on).
    DisconnectSocketExt();
    return;
  }
  // Lock is not held across QUIT: a watchdog's cut must not wait for it.
  try {
    Quit();
  } catch (...) {
  }
  User.clear();
  Password.clear();
}

void TIdFTPExt::ResetExt() {
  QuitExt();
  std::lock_guard<std::recursive_mutex> op(FOpLock);
  OnChangeDir = nullptr;
  OnConnected = nullptr;
  OnDisconnected = nullptr;
  OnWorkBegin = nullptr;
  OnWork = nullptr;
  OnWorkEnd = nullptr;
  OnStatus = nullptr;
  LastFailure = {};
  HostUnreachable = false;
  ReplyCode = 0;
  ReplyText.clear();
  ReplyLines.clear();
  const TIdFTP fresh;
  Host = fresh.Host;
  Port = fresh.Port;
  Passive = fresh.Passive;
  TransferType = fresh.TransferType;
  DataTimeout = fresh.DataTimeout;
  MaxListingSize = fresh.MaxListingSize;
  ReadTimeout = fresh.ReadTimeout;
  WriteTimeout = fresh.WriteTimeout;
  MaxLineLength = fresh.MaxLineLength;
  ConnectTimeout = fresh.ConnectTimeout;
  UseTls = fresh.UseTls;
  TlsHost = fresh.TlsHost;
  CAFile = fresh.CAFile;
}

bool TIdFTPExt::RestoreGet(const std::string& remoteFile, TByteStream& stream, TByteStream& whole) {
  TBusyScope busy(*this);
  CheckCommand("retr " + remoteFile);
  const int64_t have = stream.Size();
  // The rest can only be checked against a known size: without one, a
  // server that ignores "rest" would have the file's start spliced on. In
  // ASCII type neither sizes nor offsets count the stored file's bytes.
  const int64_t total = BinarySet() ? Size(remoteFile) : -1;
  ClearAbort();
  std::unique_ptr<TIdSimpleServer> listener = OpenListener();
  TDataChannelScope scope(*this, *listener);
  SendPort(*listener);
  const bool append = total >= have && SendCmd("rest " + std::to_string(have), {-1}) == 350;
  SendCmd("retr " + remoteFile, {125, 150});
  if (!append) {
    whole.SetSize(0);
    whole.Seek(0);
    const int64_t expected = total >= 0 ? total : AnnouncedSize();
    const int64_t got = ReceiveData(*listener, &whole, expected);
    if (expected >= 0 && got != expected) throw EIdFTPSizeMismatch(expected, got);
    return false;
  }
  stream.Seek(have);
  try {
    // The whole file is the most a server may send, resuming or not.
    const int64_t got = ReceiveData(*listener, &stream, total);
    if (got == total - have) return true;
    if (got != total) throw EIdFTPSizeMismatch(total - have, got);
    // The server sent the file from its start: it becomes the whole file.
    whole.SetSize(0);
    whole.Seek(0);
    stream.Seek(have);
    std::string buf(64 * 1024, '\0');
    for (int64_t left = got; left > 0;) {
      const size_t n = stream.Read(
          &buf[0], static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf.size()))));
      if (n == 0) throw EByteStreamError("The received file cannot be read back");
      whole.Write(buf.data(), n);
      left -= static_cast<int64_t>(n);
    }
    stream.SetSize(have);
    return false;
  } catch (...) {
    try {
      stream.SetSize(have);
    } catch (...) {
    }
    throw;
  }
}

}  // namespace qv
