#include "engine/idftpext.h"

#include "model/tvurlutils.h"
#include "model/uriparser.h"

namespace qv {

namespace {

// The last-resort password of an anonymous log-on.
const char* const kPlaceholderEmail = "guest@example.com";

// The "/"-separated non-empty segments of text from position from on.
std::vector<std::string> Segments(const std::string& text, size_t from) {
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

}  // namespace

// Busy from the first step of an operation to its end; nested operations
// (ChangeAbsDir calls GetCurrentDir and ChangeDir) keep it set.
class TIdFTPExt::TBusyScope {
 public:
  explicit TBusyScope(TIdFTPExt& f) : F(f), L(f.FOpLock) {
    if (F.FDepth++ == 0) F.Busy.store(1);
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

bool TIdFTPExt::ConnectExt(const std::string& url, const std::string& defaultPassword) {
  TBusyScope busy(*this);
  try {
    const std::string u = EscapeURL(NormaliseURL(CollapseURLSlashes(url)));
    TFTPLogOnInfo info = GetFTPLogOnInfo(u, defaultPassword);
    if (info.User.empty()) info.User = "anonymous";
    if (info.Password.empty()) info.Password = kPlaceholderEmail;
    if (info.Host.empty()) return false;
    Host = info.Host;
    if (User.empty()) User = info.User;
    if (Password.empty()) Password = info.Password;
    Connect(true);
    return true;
  } catch (...) {
    return false;
  }
}

std::string TIdFTPExt::GetCurrentDir() {
  TBusyScope busy(*this);
  try {
    return RetrieveCurrentDir();
  } catch (...) {
    return "";
  }
}

bool TIdFTPExt::ChangeDir(const std::string& dir) {
  TBusyScope busy(*this);
  try {
    TIdFTP::ChangeDir(dir);
    return true;
  } catch (...) {
    return false;
  }
}

bool TIdFTPExt::ChangeAbsDir(const std::string& path) {
  TBusyScope busy(*this);
  try {
    const std::string cur = GetCurrentDir();
    if (cur.empty()) return false;
    if (cur == path) return true;
    const size_t n = static_cast<size_t>(std::max(0, CommonPathLength(cur, path)));
    std::vector<std::string> steps;
    if (!path.empty() && path[0] == '/')
      for (size_t k = Segments(cur, n).size(); k > 0; --k) steps.push_back("..");
    for (const std::string& s : Segments(path, n)) steps.push_back(s);
    for (const std::string& s : steps) {
      if (!ChangeDir(s)) return false;
      if (OnChangeDir) OnChangeDir(this);
    }
    return true;
  } catch (...) {
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
    return false;
  }
}

bool TIdFTPExt::DownloadRestoreExt(const std::string& remoteFile, const std::string& localFile) {
  TBusyScope busy(*this);
  try {
    TFileByteStream file(localFile, TFileByteStream::fmOpenReadWrite);
    if (Passive) {
      file.Seek(0);
      Get(remoteFile, file);
      file.SetSize(file.Position());
    } else {
      RestoreGet(remoteFile, file);
    }
    file.Close();
    return true;
  } catch (...) {
    return false;
  }
}

bool TIdFTPExt::ModeExt(TIdFTPTransferType transferType) {
  TBusyScope busy(*this);
  try {
    SetTransferType(transferType);
    return true;
  } catch (...) {
    return false;
  }
}

void TIdFTPExt::AbortExt() {
  std::lock_guard<std::mutex> g(Lock);
  try {
    Abort();
  } catch (...) {
  }
}

void TIdFTPExt::QuitExt() {
  std::lock_guard<std::mutex> g(Lock);
  std::unique_lock<std::recursive_mutex> op(FOpLock, std::try_to_lock);
  if (!op.owns_lock()) {
    // The worker is in an operation: cut, and leave the rest to it (it
    // calls QuitExt itself before its next log-on).
    Abort();
    Cut();
    return;
  }
  try {
    Quit();
  } catch (...) {
  }
  User.clear();
  Password.clear();
}

void TIdFTPExt::ResetDefaults() {
  TIdFTP::ResetDefaults();
  Port = 21;
  User.clear();
  Password.clear();
  Passive = false;
  DataTimeout = 60000;
  MaxListingSize = 32u << 20;
  TransferType = ftBinary;
  OnChangeDir = nullptr;
  ClearAbort();
}

void TIdFTPExt::RestoreGet(const std::string& remoteFile, TByteStream& stream) {
  TBusyScope busy(*this);
  CheckCommand("retr " + remoteFile);
  ClearAbort();
  std::unique_ptr<TIdSimpleServer> listener = OpenListener();
  TDataChannelScope scope(*this, *listener);
  SendPort(*listener);
  const bool append = SendCmd("rest " + std::to_string(stream.Size()), {-1}) == 350;
  SendCmd("retr " + remoteFile, {125, 150});
  // Only a transfer the server has begun replaces what the file holds.
  if (append) {
    stream.Seek(stream.Size());
  } else {
    stream.SetSize(0);
    stream.Seek(0);
  }
  ReceiveData(*listener, &stream);
}

}  // namespace qv
