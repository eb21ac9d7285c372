#pragma once

// The FTP client every worker thread holds (taken from the client pool). No
// operation raises except RestoreGet: each reports false or "" and leaves the
// last reply code (ReplyCode) and the failure (LastFailure) for the caller to
// read.
//
// Threads: the worker thread makes every call that talks to the server,
// QuitExt included. Any other thread (the user-interface thread's watchdog)
// only cuts: AbortExt cuts the data connection, DisconnectSocketExt both
// connections; the worker's running operation then fails, and the worker
// calls QuitExt before its next log-on. Lock serialises the cuts against
// each other. Busy may be read from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/fetchfailure.h"
#include "platform/ftp.h"

namespace qv {

// The non-empty "/"-separated parts of text from position from on: the
// folder steps of an FTP path.
std::vector<std::string> PathSegments(const std::string& text, size_t from);

class TIdFTPExt : public TIdFTP {
 public:
  TIdFTPExt();
  ~TIdFTPExt() override;

  std::mutex Lock;
  // Fired after every single directory change that ChangeAbsDir makes.
  std::function<void(TIdFTPExt* sender)> OnChangeDir;
  // An operation is talking to the server.
  std::atomic<uint8_t> Busy{0};
  // Why the last operation failed (none after a success), for the details
  // text: the server's refusal (its code, and as text its reply: "550 No
  // such file."), or the connection's or the transfer's own reason ("Read
  // timed out.", "Connection cut.", "Transfer ended short: 999 of 1000
  // bytes"). Worker thread only.
  TFetchFailure LastFailure;
  // The last log-on found the server unreachable (its failure is of that
  // kind): its name did not resolve, or no address of it took the
  // connection. Worker thread only.
  bool HostUnreachable = false;

  // Logs on to the server of an "ftp:" URL: the URL's user and password, else
  // "anonymous" with defaultPassword (the user's e-mail setting). A User or
  // Password set before (from the password grid) wins. Host keeps the URL's
  // "host:port" text, so the caller can tell whether a later URL is on the
  // same server.
  bool ConnectExt(const std::string& url, const std::string& defaultPassword);
  // Whether the open session is the one ConnectExt would open for url with
  // the given preset user and password (from the password grid, "" for
  // none): the same server, user and password. Reusing any other session
  // would fetch one user's files in another's log-on.
  bool SessionFits(const std::string& url, const std::string& defaultPassword,
                   const std::string& presetUser, const std::string& presetPassword) const;
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
  // beginning. In active mode the rest is appended (RestoreGet); in passive
  // mode the whole file comes again. A whole file goes to a temporary file
  // beside localFile that replaces it once complete, so on failure localFile
  // holds exactly what it held before.
  bool DownloadRestoreExt(const std::string& remoteFile, const std::string& localFile);
  bool ModeExt(TIdFTPTransferType transferType);
  // Any thread: ends the running transfer (cuts its data connection).
  void AbortExt();
  // Any thread: cuts the control and the data connection and does nothing
  // else, so a wait for a reply or for data ends at once. The worker's
  // operation fails with "Connection cut."; its next one fails the same way
  // until QuitExt.
  void DisconnectSocketExt() noexcept;
  // Worker thread: ends the session. QUIT is sent (a short wait for its
  // reply) unless the connection was cut, the connection closed and User
  // and Password cleared, so a pooled client never takes one host's
  // credentials to another. Should another thread call it while an
  // operation runs, it only cuts (DisconnectSocketExt).
  void QuitExt();
  // For the pool, once no worker uses the client: QuitExt, then every event handler, the
  // reply state, LastFailure and the settings as a new client has them, so
  // the next taker inherits nothing of this one.
  void ResetExt();
  // The active-mode resumed transfer into stream, whose size is the offset.
  // In binary type SIZE tells the file's size; only when it does and the
  // file is not smaller than stream, "rest" is sent with stream's size. After 350 the
  // rest is appended, and accepted only when exactly the bytes SIZE leaves
  // for it arrive: then the result is true. A server that sends the whole
  // file instead (it ignored "rest") has its bytes moved into whole, and
  // stream is cut back; otherwise (no 350, no SIZE) the transfer goes into
  // whole from its start. Result false: whole holds the file, stream is as
  // it was. Raises on failure (a closing reply other than 226, 250, 225, a
  // count other than announced), stream then cut back to its size: the bytes
  // before it are never written.
  bool RestoreGet(const std::string& remoteFile, TByteStream& stream, TByteStream& whole);

 private:
  class TBusyScope;
  // Records the failure the exception being handled stands for in
  // LastFailure.
  void NoteFailure() noexcept;
  // Held by each operation while it runs; QuitExt takes it only when free.
  std::recursive_mutex FOpLock;
  int FDepth = 0;  // nesting of operations on the owning thread
};

}  // namespace qv
