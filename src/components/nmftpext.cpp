#include "components/nmftpext.h"

#include "engine/idftpext.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"

namespace qv {

namespace {

template <class F>
bool Catching(F&& f) {
  try {
    f();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool TNMFTPExt::ConnectExt(const std::string& url, const std::string& defaultPassword) {
  const std::string escaped = EscapeURL(url);
  const TFTPLogOnInfo info = GetFTPLogOnInfo(escaped, defaultPassword);
  if (info.Host.empty() || info.User.empty() || info.Password.empty()) return false;
  Host = info.Host;
  if (UserID.empty()) UserID = info.User;
  if (Password.empty()) Password = info.Password;
  return Catching([&] { Connect(); });
}

bool TNMFTPExt::DisconnectExt() {
  return Catching([&] { Disconnect(); });
}

std::string TNMFTPExt::GetCurrentDir() {
  try {
    return TNMFTP::GetCurrentDir();
  } catch (...) {
    return "";
  }
}

bool TNMFTPExt::ChangeDir(const std::string& dir) {
  return Catching([&] { TNMFTP::ChangeDir(dir); });
}

bool TNMFTPExt::ChangeAbsDir(const std::string& rawPath) {
  const std::string path = TrimBlanks(rawPath);
  const std::string cur = GetCurrentDir();
  if (cur.empty()) return false;
  const size_t n = static_cast<size_t>(std::max(0, CommonPathLength(path, cur)));
  auto step = [&](const std::string& dir) {
    if (!ChangeDir(dir)) return false;
    if (OnChangeDir) OnChangeDir(this);
    return true;
  };
  if (!path.empty() && path[0] == '/') {
    for (size_t i = 0, k = PathSegments(cur, n).size(); i < k; ++i)
      if (!step("..")) return false;
  }
  for (const auto& part : PathSegments(path, n))
    if (!step(part)) return false;
  return true;
}

void TNMFTPExt::FTPListItem(const std::string& line) {
  FListLines.push_back(line);
  if (FSavedListItem) FSavedListItem(line);
}

bool TNMFTPExt::List(std::vector<std::string>& lines) {
  FSavedListItem = OnListItem;
  OnListItem = [this](const std::string& line) { FTPListItem(line); };
  FListLines.clear();
  auto restore = [&] {
    FListLines.clear();
    OnListItem = std::move(FSavedListItem);
    FSavedListItem = nullptr;
  };
  try {
    TNMFTP::List();
  } catch (...) {
    restore();
    return false;
  }
  lines = FListLines;
  restore();
  return true;
}

bool TNMFTPExt::DownloadExt(const std::string& remote, const std::string& local) {
  return Catching([&] { Download(remote, local); });
}

bool TNMFTPExt::DownloadRestoreExt(const std::string& remote, const std::string& local) {
  return Catching([&] { DownloadRestore(remote, local); });
}

bool TNMFTPExt::ModeExt(TIdFTPTransferType mode) {
  return Catching([&] { Mode(mode); });
}

}  // namespace qv
