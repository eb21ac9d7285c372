#include "platform/ftp.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/asciicase.h"

namespace qv {

namespace {

// How long QUIT and the recovery after a failed transfer wait for a reply.
constexpr int kShortReplyWait = 2000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Restores a connection's read time-out when the scope ends.
class TTimeoutScope {
 public:
  TTimeoutScope(TIdTCPConnection& c, int timeoutMs) : FConn(c), FSaved(c.ReadTimeout) {
    if (FSaved < 0 || FSaved > timeoutMs) c.ReadTimeout = timeoutMs;
  }
  ~TTimeoutScope() { FConn.ReadTimeout = FSaved; }

 private:
  TIdTCPConnection& FConn;
  int FSaved;
};

// Passes a transfer's bytes on to dest (nullptr: discards them), counting
// them and refusing the first byte past limit (-1: none): a server that
// sends more than it announced must not fill the disk.
class TCountingSink : public TByteStream {
 public:
  TCountingSink(TByteStream* dest, int64_t limit) : FDest(dest), FLimit(limit) {}
  void Write(const char* data, size_t n) override {
    if (FLimit >= 0 && static_cast<int64_t>(n) > FLimit - FCount)
      throw EIdFTPSizeMismatch(FLimit, FCount + static_cast<int64_t>(n));
    if (FDest) FDest->Write(data, n);
    FCount += static_cast<int64_t>(n);
  }
  size_t Read(char*, size_t) override { return 0; }
  int64_t Size() const override { return FCount; }
  int64_t Position() const override { return FCount; }
  void Seek(int64_t) override { throw EByteStreamError("A transfer sink cannot seek"); }
  void SetSize(int64_t) override { throw EByteStreamError("A transfer sink cannot resize"); }
  int64_t Count() const { return FCount; }

 private:
  TByteStream* FDest;
  int64_t FLimit;
  int64_t FCount = 0;
};

std::string SizeMismatchText(int64_t expected, int64_t received) {
  if (received > expected)
    return "Transfer ran past the " + std::to_string(expected) + " bytes announced";
  return "Transfer ended short: " + std::to_string(received) + " of " + std::to_string(expected) +
         " bytes";
}

// A decimal count of at most 18 digits (no overflow of 64 bits); -1 else.
int64_t ParseCount(const std::string& text, size_t from, size_t end) {
  if (end <= from || end - from > 18) return -1;
  int64_t v = 0;
  for (size_t i = from; i < end; ++i) {
    if (!IsDigit(text[i])) return -1;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

}  // namespace

EIdFTPSizeMismatch::EIdFTPSizeMismatch(int64_t expected, int64_t received)
    : ENetProtocolError(SizeMismatchText(expected, received)),
      Expected(expected),
      Received(received) {}

int64_t ParseTransferSize(const std::string& text) {
  // The last "(N bytes)": the file name before it may hold anything. Each
  // ")" is looked at once, so a reply full of them costs no more than its
  // length.
  static const char kUnit[] = " bytes)";
  const size_t unitLength = sizeof kUnit - 1;
  for (size_t end = text.rfind(')'); end != std::string::npos && end + 1 >= unitLength;
       end = end == 0 ? std::string::npos : text.rfind(')', end - 1)) {
    const size_t unit = end + 1 - unitLength;
    if (!MatchesAtIC(text, unit, kUnit)) continue;
    size_t open = unit;
    while (open > 0 && IsDigit(text[open - 1]) && unit - open <= 18) --open;
    if (open == 0 || text[open - 1] != '(') return -1;
    return ParseCount(text, open, unit);
  }
  return -1;
}

int64_t ParseSizeReply(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return -1;
  size_t start = text.find_first_not_of(" \t");
  return ParseCount(text, start, end + 1);
}

std::string ParsePWDReply(const std::string& text) {
  const size_t open = text.find('"');
  if (open == std::string::npos) {
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    size_t b = text.find_first_of(" \t\r\n", a);
    return text.substr(a, b == std::string::npos ? std::string::npos : b - a);
  }
  std::string dir;
  for (size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      dir += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '"') {
      dir += '"';
      ++i;
      continue;
    }
    return dir;
  }
  return "";  // no closing quote: not a folder name we can trust
}

bool ParsePASVReply(const std::string& text, std::string& address, int& port) {
  // The six numbers are the first run of digits and commas holding five
  // commas; servers differ in what surrounds them.
  for (size_t start = 0; start < text.size(); ++start) {
    if (!IsDigit(text[start]) || (start > 0 && IsDigit(text[start - 1]))) continue;
    int values[6];
    size_t i = start;
    int n = 0;
    for (; n < 6; ++n) {
      if (i >= text.size() || !IsDigit(text[i])) break;
      int v = 0;
      size_t digits = 0;
      while (i < text.size() && IsDigit(text[i])) {
        if (++digits > 3) break;
        v = v * 10 + (text[i] - '0');
        ++i;
      }
      if (digits > 3 || v > 255) break;
      values[n] = v;
      if (n < 5) {
        if (i >= text.size() || text[i] != ',') break;
        ++i;
      }
    }
    if (n != 6 || (i < text.size() && IsDigit(text[i]))) continue;
    port = values[4] * 256 + values[5];
    if (port == 0) return false;
    address = std::to_string(values[0]) + "." + std::to_string(values[1]) + "." +
              std::to_string(values[2]) + "." + std::to_string(values[3]);
    return true;
  }
  return false;
}

bool SplitHostPort(const std::string& text, std::string& host, int& port, int defaultPort) {
  std::string portText;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(0, close + 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      portText = text.substr(close + 2);
      if (portText.empty()) return false;
    }
    if (host.size() <= 2) return false;
  } else {
    const size_t colon = text.find(':');
    // Two or more colons without brackets: a bare IPv6 address, no port.
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
      host = text.substr(0, colon);
      portText = text.substr(colon + 1);
      if (portText.empty()) return false;
    } else {
      host = text;
    }
    if (host.empty()) return false;
  }
  if (portText.empty()) {
    port = defaultPort;
    return true;
  }
  if (portText.size() > 5) return false;
  int p = 0;
  for (char c : portText) {
    if (!IsDigit(c)) return false;
    p = p * 10 + (c - '0');
  }
  if (p < 1 || p > 65535) return false;
  port = p;
  return true;
}

std::vector<std::string> SplitListing(const std::string& data) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    if (end == std::string::npos) end = data.size();
    if (end > start) lines.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TIdFTP::TIdFTP() { Port = 21; }

TIdFTP::~TIdFTP() = default;

int TIdFTP::SendCmd(const std::string& command, std::initializer_list<int> accepted) {
  return SendCmd(command, std::vector<int>(accepted));
}

int TIdFTP::SendCmd(const std::string& command, const std::vector<int>& accepted) {
  CheckCommand(command);
  return TIdTCPConnection::SendCmd(command, accepted);
}

void TIdFTP::CheckCommand(const std::string& command) {
  if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    throw EIdFTPBadArgument("A command may not hold a line break or a zero byte");
}

void TIdFTP::Connect(bool autoLogin) {
  const std::string whole = Host;
  std::string host;
  int port = 0;
  if (!SplitHostPort(whole, host, port, Port)) throw ENetConnectError("Invalid host: " + whole);
  const int savedPort = Port;
  Host = host;
  Port = port;
  try {
    TIdTCPClient::Connect();
  } catch (...) {
    Host = whole;
    Port = savedPort;
    throw;
  }
  Host = whole;
  Port = savedPort;
  FBinarySet = false;
  try {
    try {
      if (GetResponse({120, 220}) == 120) GetResponse({220});
    } catch (const ENetProtocolError& e) {
      // A greeting without end is bounded like every reply; the reason says
      // which reply it was.
      throw ENetProtocolError(std::string("The server's greeting: ") + e.what());
    }
    if (autoLogin) Login();
  } catch (...) {
    Disconnect();
    throw;
  }
}

void TIdFTP::Login() {
  if (SendCmd("USER " + User, {230, 331}) == 331) SendCmd("PASS " + Password, {230, 202});
}

std::string TIdFTP::RetrieveCurrentDir() {
  SendCmd("PWD", {257});
  return ParsePWDReply(ReplyText);
}

void TIdFTP::ChangeDir(const std::string& dir) { SendCmd("CWD " + dir, {200, 250}); }

void TIdFTP::SetTransferType(TIdFTPTransferType type) {
  SendCmd(type == ftBinary ? "TYPE I" : "TYPE A", {200});
  TransferType = type;
  FBinarySet = type == ftBinary;
}

void TIdFTP::List(std::vector<std::string>& lines, const std::string& mask, bool details) {
  std::string command = details ? "LIST" : "NLST";
  if (!mask.empty()) command += " " + mask;
  TStringByteStream data(MaxListingSize);
  TransferIn(command, &data, false);
  lines = SplitListing(data.DataString());
}

void TIdFTP::Get(const std::string& remoteFile, const std::string& localFile, bool canOverwrite) {
  CheckCommand(remoteFile);
  struct stat st;
  if (!canOverwrite && ::stat(localFile.c_str(), &st) == 0)
    throw EByteStreamError("File exists: " + localFile);
  // Made when the first bytes arrive, so that a transfer the server refuses
  // leaves an existing copy as it was, and no new file or folder.
  TFileOnFirstWrite file(localFile, true);
  Get(remoteFile, file);
  file.Close();  // an empty file is a file too
}

void TIdFTP::Get(const std::string& remoteFile, TByteStream& dest) {
  TransferIn("RETR " + remoteFile, &dest, true);
}

int64_t TIdFTP::Size(const std::string& remoteFile) {
  if (SendCmd("SIZE " + remoteFile, {-1}) != 213) return -1;
  return ParseSizeReply(ReplyText);
}

void TIdFTP::Abort() {
  FAbortRequested.store(true);
  std::lock_guard<std::mutex> g(FDataLock);
  if (FData) FData->Cut();
}

void TIdFTP::Quit() {
  if (Connected()) {
    try {
      TTimeoutScope t(*this, kShortReplyWait);
      SendCmd("QUIT", {-1});
    } catch (...) {
    }
  }
  Disconnect();
}

void TIdFTP::SendPort(const TIdSimpleServer& binding) {
  const std::string& ip = binding.BoundIP;
  const int port = binding.BoundPort;
  if (ip.find(':') != std::string::npos) {
    SendCmd("EPRT |2|" + ip + "|" + std::to_string(port) + "|", {200});
    return;
  }
  std::string h = ip;
  std::replace(h.begin(), h.end(), '.', ',');
  SendCmd("PORT " + h + "," + std::to_string(port / 256) + "," + std::to_string(port % 256), {200});
}

void TIdFTP::SetDataChannel(TIdTCPConnection* data) {
  std::lock_guard<std::mutex> g(FDataLock);
  FData = data;
  // An abort that came before the channel existed still counts.
  if (data && FAbortRequested.load()) data->Cut();
}

void TIdFTP::HookWork(TIdTCPConnection& data) {
  data.ReadTimeout = DataTimeout;
  data.OnWorkBegin = [this](TIdTCPConnection*, TWorkMode m, int64_t n) { BeginWork(m, n); };
  data.OnWork = [this](TIdTCPConnection*, TWorkMode m, int64_t n) { DoWork(m, n); };
  data.OnWorkEnd = [this](TIdTCPConnection*, TWorkMode m) { EndWork(m); };
}

std::unique_ptr<TIdSimpleServer> TIdFTP::OpenListener() {
  auto listener = std::make_unique<TIdSimpleServer>();
  listener->BoundIP = LocalAddress();
  if (listener->BoundIP.empty()) throw ENetNotConnected();
  listener->BoundPort = 0;
  HookWork(*listener);
  listener->BeginListen();
  return listener;
}

void TIdFTP::AcceptData(TIdSimpleServer& listener) {
  if (!listener.Listen(DataTimeout)) throw ENetTimeout();
  // Only the server we talk to may send the data (RFC 2577: no third party
  // can slip its bytes into our file).
  if (listener.PeerAddress() != PeerAddress()) {
    listener.Disconnect();
    throw ENetProtocolError("Data connection from a foreign address refused");
  }
}

int64_t TIdFTP::ReadData(TIdTCPConnection& data, TByteStream* dest, int64_t limit) {
  TCountingSink sink(dest, limit);
  data.ReadStream(&sink, -1, true);
  return sink.Count();
}

int64_t TIdFTP::AnnouncedSize() const { return FBinarySet ? ParseTransferSize(ReplyText) : -1; }

void TIdFTP::FinishTransfer() { GetResponse({226, 250, 225}); }

int64_t TIdFTP::ReceiveData(TIdTCPConnection& data, TByteStream* dest, int64_t limit) {
  return ReceiveData(data, nullptr, dest, limit);
}

int64_t TIdFTP::ReceiveData(TIdSimpleServer& listener, TByteStream* dest, int64_t limit) {
  return ReceiveData(listener, &listener, dest, limit);
}

int64_t TIdFTP::ReceiveData(TIdTCPConnection& data, TIdSimpleServer* listener, TByteStream* dest,
                            int64_t limit) {
  int64_t got = 0;
  try {
    if (listener) AcceptData(*listener);
    got = ReadData(data, dest, limit);
  } catch (...) {
    data.Disconnect();
    RecoverControl();
    throw;
  }
  data.Disconnect();
  FinishTransfer();
  return got;
}

void TIdFTP::RecoverControl() noexcept {
  try {
    if (!Connected()) return;
    TTimeoutScope t(*this, kShortReplyWait);
    if (AbortRequested()) {
      // RFC 959: ABOR is answered by 426 for the cut transfer and then 226,
      // or by 225/226 alone.
      const int code = SendCmd("ABOR", {-1});
      if (code == 426) GetResponse({-1});
    } else {
      GetResponse({-1});
    }
  } catch (...) {
    Disconnect();
  }
}

void TIdFTP::TransferIn(const std::string& command, TByteStream* dest, bool sized) {
  CheckCommand(command);
  ClearAbort();
  if (Passive) {
    SendCmd("PASV", {227});
    std::string address;
    int port = 0;
    if (!ParsePASVReply(ReplyText, address, port)) throw ENetProtocolError("Malformed PASV reply");
    // The data connection goes to the server we talk to, whatever address
    // the reply names (RFC 2577).
    TIdTCPClient data;
    data.Host = PeerAddress();
    data.Port = port;
    data.ConnectTimeout = DataTimeout;
    HookWork(data);
    TDataChannelScope scope(*this, data);
    data.Connect();
    if (AbortRequested()) throw ENetCancelled();
    SendCmd(command, {125, 150});
    const int64_t expected = sized ? AnnouncedSize() : -1;
    const int64_t got = ReceiveData(data, dest, expected);
    if (expected >= 0 && got != expected) throw EIdFTPSizeMismatch(expected, got);
    return;
  }

  std::unique_ptr<TIdSimpleServer> listener = OpenListener();
  TDataChannelScope scope(*this, *listener);
  SendPort(*listener);
  SendCmd(command, {125, 150});
  const int64_t expected = sized ? AnnouncedSize() : -1;
  const int64_t got = ReceiveData(*listener, dest, expected);
  if (expected >= 0 && got != expected) throw EIdFTPSizeMismatch(expected, got);
}

}  // namespace qv
