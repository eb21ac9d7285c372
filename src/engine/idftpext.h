#pragma once

// The FTP client every worker thread holds (taken from the client pool). No
// operation raises except RestoreGet: each reports false or "" and leaves the
// last reply code (ReplyCode) for the caller to read.
//
// Threads: the worker thread makes every call except AbortExt and QuitExt,
// which the user-interface thread's watchdog may call while an operation
// runs (Busy is 1): then they only cut the connections, and the worker's
// operation fails. Lock serialises AbortExt and QuitExt against each other.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ftp.h"

namespace qv {

class TIdFTPExt : public TIdFTP {
 public:
  TIdFTPExt();
  ~TIdFTPExt() override;

  std::mutex Lock;
  // Fired after every single directory change that ChangeAbsDir makes.
  std::function<void(TIdFTPExt* sender)> OnChangeDir;
  // An operation is talking to the server.
  std::atomic<uint8_t> Busy{0};

  // Logs on to the server of an "ftp:" URL: the URL's user and password, else
  // "anonymous" with defaultPassword (the user's e-mail setting). A User or
  // Password set before (from the password grid) wins. Host keeps the URL's
  // "host:port" text, so the caller can tell whether a later URL is on the
  // same server.
  bool ConnectExt(const std::string& url, const std::string& defaultPassword);
  // The current folder, "" on failure.
  std::string GetCurrentDir();
  // One CWD.
  bool ChangeDir(const std::string& dir);
  // Walks to path one folder at a time: ".." up to the common part (for an
  // absolute path), then down; nothing is sent when path is the current
  // folder.
  bool ChangeAbsDir(const std::string& path);
  // The long listing of the current folder; emptied on failure.
  bool List(std::vector<std::string>& list);
  // The whole file, into localFile (created or emptied).
  bool DownloadExt(const std::string& remoteFile, const std::string& localFile);
  // The rest of a file of which localFile (which must exist) holds the
  // beginning; in passive mode the whole file again.
  bool DownloadRestoreExt(const std::string& remoteFile, const std::string& localFile);
  bool ModeExt(TIdFTPTransferType transferType);
  // Any thread: ends the running transfer.
  void AbortExt();
  // Any thread: ends the session. While an operation runs, the connection is
  // only cut; otherwise QUIT is sent, the connection closed and User and
  // Password cleared, so a pooled client never takes one host's credentials
  // to another.
  void QuitExt();
  // The active-mode resumed transfer: "rest" with the stream's size; after 350
  // the file is appended to, after any other reply the stream starts over.
  // Raises on failure (a closing reply other than 226, 250, 225 too).
  void RestoreGet(const std::string& remoteFile, TByteStream& stream);
  // A new client's settings and handlers, for a client handed to another
  // thread (the pool, after QuitExt). The connection must be closed.
  void ResetDefaults() override;

 private:
  class TBusyScope;
  // Held by each operation while it runs; QuitExt takes it only when free.
  std::recursive_mutex FOpLock;
  int FDepth = 0;  // nesting of operations on the owning thread
};

}  // namespace qv
