#pragma once

// The FTP component the extension builds on: the program's own FTP client
// behind operations that raise on any failure, as the component set it
// stands in for does.

#include <functional>
#include <string>

#include "engine/idftpext.h"

namespace qv {

class TNMFTP {
 public:
  using TListItemEvent = std::function<void(const std::string& line)>;

  TNMFTP() = default;
  virtual ~TNMFTP() = default;
  TNMFTP(const TNMFTP&) = delete;
  TNMFTP& operator=(const TNMFTP&) = delete;

  // The client: time-outs and passive mode are set on it.
  TIdFTPExt Client;
  std::string Host;  // "host" or "host:port"
  std::string UserID;
  std::string Password;
  // Called with each line of a listing, in order.
  TListItemEvent OnListItem;

  // Connects to Host and logs on with UserID and Password.
  void Connect();
  void Disconnect();
  std::string GetCurrentDir();
  void ChangeDir(const std::string& dir);
  // The long listing of the current folder, line by line through OnListItem.
  void List();
  // The whole file into local (created or emptied).
  void Download(const std::string& remote, const std::string& local);
  // The rest of a file whose beginning local holds.
  void DownloadRestore(const std::string& remote, const std::string& local);
  void Mode(TIdFTPTransferType mode);
};

}  // namespace qv
