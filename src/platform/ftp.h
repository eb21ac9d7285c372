#pragma once

// A blocking FTP client (RFC 959) on the connection layer: log-on, PWD, CWD,
// LIST, RETR, TYPE, REST, ABOR, QUIT, and data connections in active mode
// (PORT/EPRT with a one-connection listener) or passive mode (PASV).
//
// One thread owns the client and makes every call. Abort() may come from
// any thread: it cuts the data connection, so that a transfer or a wait for
// the data connection fails at once; Cut() (of the control connection) ends
// a wait for a reply the same way.
//
// Failures raise, as the connection layer does: a reply code a command does
// not accept raises EIdProtocolReplyError (ReplyCode holds it), a command
// argument holding CR, LF or a zero byte raises EIdFTPBadArgument before
// anything is sent (it would smuggle a second command in), a file transfer
// whose size the server announced and that ends short or long raises
// EIdFTPSizeMismatch, and time-outs, cuts and closes raise the connection
// layer's errors.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/net.h"

namespace qv {

enum TIdFTPTransferType { ftBinary, ftASCII };

class EIdFTPBadArgument : public ENetError {
 public:
  using ENetError::ENetError;
};

// A transfer that brought another number of bytes than the server announced
// for it. A transfer that runs long is stopped at the first byte too many,
// so Received is then what had arrived by that point.
class EIdFTPSizeMismatch : public ENetProtocolError {
 public:
  EIdFTPSizeMismatch(int64_t expected, int64_t received);
  int64_t Expected;
  int64_t Received;
};

// The folder named by a 257 reply's text ("\"/pub\" is the current
// directory."; a doubled quote stands for one, RFC 959 appendix II); a reply
// without quotes gives its first word. "" when there is none.
std::string ParsePWDReply(const std::string& text);

// The port of a 227 reply's text ("Entering Passive Mode (h1,h2,h3,h4,p1,p2)")
// and its address; false when the six numbers are not there or out of range.
bool ParsePASVReply(const std::string& text, std::string& address, int& port);

// Splits "host", "host:port", "[v6]" or "[v6]:port"; a text without a port
// gives defaultPort. False for an empty host or a port that is no number in
// 1..65535.
bool SplitHostPort(const std::string& text, std::string& host, int& port, int defaultPort);

// The byte count a transfer reply announces in its text, as in "150 Opening
// BINARY mode data connection for f.bin (1000 bytes)."; -1 when it names none.
int64_t ParseTransferSize(const std::string& text);

// The size of a 213 reply's text to SIZE (RFC 3659): digits alone; -1 else.
int64_t ParseSizeReply(const std::string& text);

// The lines of a listing, split at CR, LF or both; empty lines dropped.
std::vector<std::string> SplitListing(const std::string& data);

class TIdFTP : public TIdTCPClient {
 public:
  TIdFTP();
  ~TIdFTP() override;

  // Host may carry ":port" (then it overrides Port for the connection; Host
  // itself keeps the whole text).
  std::string User;
  std::string Password;
  bool Passive = false;
  // Wait for the data connection, and for each read on it, in ms.
  int DataTimeout = 60000;
  // Bound of a listing held in memory, in bytes.
  size_t MaxListingSize = 32u << 20;
  TIdFTPTransferType TransferType = ftBinary;  // the type last set

  // Connects, reads the greeting (220, after an optional 120) and, with
  // autoLogin, logs on with User and Password.
  void Connect() override { Connect(true); }
  void Connect(bool autoLogin);
  void Login();
  std::string RetrieveCurrentDir();
  void ChangeDir(const std::string& dir);
  // LIST (details) or NLST of mask ("" = the current folder) into lines.
  void List(std::vector<std::string>& lines, const std::string& mask, bool details);
  // RETR into a file (created or emptied, with any folders it needs, once
  // data arrives or the transfer ends well, so a refused RETR leaves an
  // existing file alone and makes nothing; without
  // canOverwrite an existing file raises) or into stream from its position.
  // A transfer that fails leaves the bytes received so far in place for a
  // later resume. In binary type, a byte count the transfer reply announces
  // must be met exactly (EIdFTPSizeMismatch); in ASCII type the server's
  // line-end conversion changes the count, so it is not checked.
  void Get(const std::string& remoteFile, const std::string& localFile, bool canOverwrite);
  void Get(const std::string& remoteFile, TByteStream& dest);
  // The size SIZE reports for remoteFile (RFC 3659: bytes as transferred in
  // the current type); -1 when the server does not tell.
  int64_t Size(const std::string& remoteFile);
  void SetTransferType(TIdFTPTransferType type);
  // Any thread: ends the running transfer (the owner then sends ABOR).
  virtual void Abort();
  // QUIT (a short wait for its reply), then closes the connection.
  void Quit();
  // PORT (EPRT for an IPv6 address) naming binding's address and port.
  void SendPort(const TIdSimpleServer& binding);

  // The connection layer's commands, with the argument check.
  int SendCmd(const std::string& command, std::initializer_list<int> accepted = {-1});
  int SendCmd(const std::string& command, const std::vector<int>& accepted);

 protected:
  // Raises EIdFTPBadArgument for a command holding CR, LF or a zero byte.
  static void CheckCommand(const std::string& command);
  // Building blocks of a transfer, for RETR-like exchanges of subclasses.
  // A listener bound to the control connection's local address, listening.
  std::unique_ptr<TIdSimpleServer> OpenListener();
  // Makes a data connection the one Abort cuts, for the scope's life; declare
  // it after the connection so that it ends first.
  class TDataChannelScope {
   public:
    TDataChannelScope(TIdFTP& ftp, TIdTCPConnection& data) : FFtp(ftp) {
      ftp.SetDataChannel(&data);
    }
    ~TDataChannelScope() { FFtp.SetDataChannel(nullptr); }
    TDataChannelScope(const TDataChannelScope&) = delete;
    TDataChannelScope& operator=(const TDataChannelScope&) = delete;

   private:
    TIdFTP& FFtp;
  };
  // Waits for the data connection (DataTimeout; Abort ends the wait) and
  // refuses one from an address other than the control connection's peer.
  void AcceptData(TIdSimpleServer& listener);
  // Reads the data connection to its close into dest (nullptr: discard),
  // reporting work through this client's work events; returns the bytes
  // read. More than limit bytes (-1: no limit) raise EIdFTPSizeMismatch.
  int64_t ReadData(TIdTCPConnection& data, TByteStream* dest, int64_t limit = -1);
  // The transfer's closing reply: only 226, 250 and 225 mean success.
  void FinishTransfer();
  // The data phase once the transfer command is accepted: reads the data
  // connection to its close into dest (nullptr: discard; at most limit
  // bytes), hangs it up and takes the closing reply; returns the bytes
  // read. The listener form first waits for the server's connection
  // (AcceptData). On failure the data connection is hung up and the control
  // connection brought back in step before the error goes on.
  int64_t ReceiveData(TIdTCPConnection& data, TByteStream* dest, int64_t limit = -1);
  int64_t ReceiveData(TIdSimpleServer& listener, TByteStream* dest, int64_t limit = -1);
  // The byte count the last transfer reply announced, when the binary type
  // was set on this connection; -1 otherwise.
  int64_t AnnouncedSize() const;
  // TYPE I was accepted on this connection: byte counts and offsets are the
  // stored file's.
  bool BinarySet() const { return FBinarySet; }
  // After a failure in the data phase: brings the control connection back
  // in step (ABOR after an abort, else the pending closing reply), or closes
  // it when that does not work. Never raises.
  void RecoverControl() noexcept;
  bool AbortRequested() const { return FAbortRequested.load(); }
  void ClearAbort() { FAbortRequested.store(false); }

 private:
  int64_t ReceiveData(TIdTCPConnection& data, TIdSimpleServer* listener, TByteStream* dest,
                      int64_t limit);
  // A full RETR/LIST-like exchange on a data connection of the current mode;
  // with sized, the count AnnouncedSize gives must be met.
  void TransferIn(const std::string& command, TByteStream* dest, bool sized);
  void HookWork(TIdTCPConnection& data);
  void SetDataChannel(TIdTCPConnection* data);

  std::mutex FDataLock;
  TIdTCPConnection* FData = nullptr;
  std::atomic<bool> FAbortRequested{false};
  // TYPE I was accepted on this connection (the server's own default is
  // ASCII, RFC 959).
  bool FBinarySet = false;
};

}  // namespace qv
