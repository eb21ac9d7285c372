#pragma once

// The FTP component with operations that take whole URLs and paths and
// report failure by result (false or "") instead of raising.

#include <functional>
#include <string>
#include <vector>

#include "components/nmftp.h"

namespace qv {

class TNMFTPExt : public TNMFTP {
 public:
  TNMFTPExt() = default;

  // Called after every single directory change ChangeAbsDir makes.
  std::function<void(TNMFTPExt* sender)> OnChangeDir;

  // Logs on to the server of an "ftp:" URL: the URL's user and password, or
  // "anonymous" with defaultPassword. A UserID or Password set before wins.
  // False without connecting when the URL gives no host, user or password.
  bool ConnectExt(const std::string& url, const std::string& defaultPassword);
  bool DisconnectExt();
  std::string GetCurrentDir();
  bool ChangeDir(const std::string& dir);
  // Walks to path one folder at a time: ".." up to the part it shares with
  // the current folder (for an absolute path), then down. Empty parts ("//",
  // a trailing "/") are skipped, never sent as an empty change.
  bool ChangeAbsDir(const std::string& path);
  // The listing's lines replace lines. The caller's OnListItem stays in place
  // afterwards, and sees every line meanwhile.
  bool List(std::vector<std::string>& lines);
  void FTPListItem(const std::string& line);
  bool DownloadExt(const std::string& remote, const std::string& local);
  bool DownloadRestoreExt(const std::string& remote, const std::string& local);
  bool ModeExt(TIdFTPTransferType mode);

 private:
  TListItemEvent FSavedListItem;
  std::vector<std::string> FListLines;
};

}  // namespace qv
