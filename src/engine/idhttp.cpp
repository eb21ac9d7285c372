#include "engine/idhttp.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "engine/contentcoding.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"
#include "platform/base64.h"

namespace qv {

namespace {

constexpr size_t MaxHeaderLine = 16 * 1024;
constexpr size_t MaxHeaderBlock = 64 * 1024;
constexpr int MaxHeaderLines = 256;
constexpr int MaxInterimResponses = 32;
constexpr size_t MaxChunkSizeDigits = 15;  // 2^60 bytes: beyond that a size is absurd

// A Content-Length value: digits only. One of 19 digits or more is no
// length any body can have, and must not pass for an absent one.
enum TLengthParse { lpOk, lpMalformed, lpTooLarge };
TLengthParse ParseLength(const std::string& text, int64_t& v) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return lpMalformed;
  const size_t lead = std::min(text.find_first_not_of('0'), text.size());
  if (text.size() - lead > 18) return lpTooLarge;
  v = 0;
  for (size_t i = lead; i < text.size(); ++i) v = v * 10 + (text[i] - '0');
  return lpOk;
}

bool ParseDecimal64(const std::string& text, int64_t& v) {
  if (text.empty() || text.size() > 18) return false;
  v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

// A decimal number as the old conversion took it: an optional sign, digits.
int64_t StrToInt64(const std::string& text) {
  std::string t = TrimAscii(text);
  bool neg = !t.empty() && (t[0] == '-' || t[0] == '+') ? (t[0] == '-') : false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.erase(0, 1);
  int64_t v;
  if (!ParseDecimal64(t, v))
    throw ENetProtocolError("'" + text.substr(0, 40) + "' is not a valid integer value");
  return neg ? -v : v;
}

bool HasUnsafeByte(const std::string& s) {
  for (char c : s)
    if (c == '\r' || c == '\n' || c == '\0') return true;
  return false;
}

// What may not stand raw in a request line (RFC 9112 3.2, RFC 3986 2.1):
// control bytes other than CR, LF and NUL (refused earlier), blanks, the
// bytes the URL escaping covers, and every byte from 0x80. The URL the
// caller stored is not changed; only the wire form is.
std::string EncodeRequestTarget(const std::string& target) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (char ch : target) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>') {
      out += '%';
      out += Hex[c >> 4];
      out += Hex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

bool IsHttps(const std::string& protocol) { return EqualsIC(protocol, "https"); }

// Header lines that speak for the user to one site; they do not follow a
// redirection to another.
const char* const CredentialHeaders[] = {"Authorization", "Cookie", "Cookie2"};

int DefaultPort(bool tls) { return tls ? 443 : 80; }

// The port text as a number; -1 when empty or not a valid port.
int PortNumber(const std::string& text) {
  int64_t v;
  if (!ParseDecimal64(TrimAscii(text), v) || v <= 0 || v > 65535) return -1;
  return static_cast<int>(v);
}

}  // namespace

bool HasConnectionToken(const std::string& value, const std::string& token) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    std::string piece = TrimAscii(
        value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (EqualsIC(piece, token)) return true;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return false;
}

// ------------------------------------------------------------ header info

void TIdHeaderInfo::Clear() {
  Accept = "text/html, */*";
  UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
  AcceptCharSet.clear();
  Location.clear();
  Server.clear();
  Connection.clear();
  ContentVersion.clear();
  WWWAuthenticate.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType.clear();
  ProxyServer.clear();
  ProxyUsername.clear();
  ProxyPassword.clear();
  ProxyAuthenticate.clear();
  ContentLength = 0;
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  ProxyPort = 0;
  Date = 0;
  LastModified = 0;
  Expires = 0;
  ExtraHeaders.Clear();
}

void TIdHeaderInfo::SetHeaders(TIdHeaderList& list) const {
  list.Clear();
  auto add = [&list](const char* name, const std::string& value) {
    if (!value.empty()) list.AddValue(name, value);
  };
  add("Accept", Accept);
  add("Accept-Charset", AcceptCharSet);
  add("Accept-Encoding", AcceptEncoding);
  add("Accept-Language", AcceptLanguage);
  add("From", From);
  add("Referer", Referer);
  add("User-Agent", UserAgent);
  add("Connection", Connection);
  add("Content-Version", ContentVersion);
  add("Content-Encoding", ContentEncoding);
  add("Content-Language", ContentLanguage);
  add("Content-Type", ContentType);
  if (ContentLength != 0) list.AddValue("Content-Length", std::to_string(ContentLength));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string range = "bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += std::to_string(ContentRangeEnd);
    list.AddValue("Range", range);
  }
  if (!Username.empty())
    list.AddValue("Authorization", "Basic " + EncodeBase64(Username + ":" + Password));
  if (!ProxyServer.empty() && !ProxyUsername.empty())
    list.AddValue("Proxy-Authorization",
                  "Basic " + EncodeBase64(ProxyUsername + ":" + ProxyPassword));
  for (const auto& line : ExtraHeaders.Lines()) list.Add(line);
}

void TIdHeaderInfo::GetHeaders(TIdHeaderList& list) {
  ExtraHeaders.Clear();
  auto take = [&list](const char* name) {
    std::string v = list.GetValue(name);
    list.SetValue(name, "");
    return v;
  };
  Location = take("Location");
  Server = take("Server");
  Connection = take("Connection");
  ContentVersion = take("Content-Version");
  WWWAuthenticate = take("WWW-Authenticate");
  ContentEncoding = take("Content-Encoding");
  ContentLanguage = take("Content-Language");
  ContentType = take("Content-Type");
  // RFC 9110 8.6: a list of identical values is one value; a malformed or
  // negative one counts as absent. Conflicts are refused by the client.
  ContentLength = 0;
  for (const auto& v : list.GetValues("Content-Length")) {
    std::string rest = v;
    while (!rest.empty()) {
      int64_t n;
      if (ParseLength(TrimAscii(Fetch(rest, ",")), n) == lpOk) ContentLength = n;
    }
  }
  list.SetValue("Content-Length", "");
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  std::string range = take("Content-Range");
  if (!range.empty()) {
    Fetch(range, " ");
    // "bytes */N" (RFC 9110 14.4) names no range: it comes with a 416.
    if (TrimAscii(range).rfind("*/", 0) != 0) {
      ContentRangeStart = StrToInt64(Fetch(range, "-"));
      ContentRangeEnd = StrToInt64(Fetch(range, "/"));
    }
  }
  Date = GMTToLocalDateTime(take("Date"));
  LastModified = GMTToLocalDateTime(take("Last-Modified"));
  Expires = GMTToLocalDateTime(take("Expires"));
  ProxyAuthenticate = take("Proxy-Authenticate");
  for (const auto& line : list.Lines()) ExtraHeaders.Add(line);
}

// ------------------------------------------------------------ client

TIdHTTP::TIdHTTP() { Port = 80; }

void TIdHTTP::Get(const std::string& url, TByteStream* responseContent) {
  DoRequest(hmGet, url, nullptr, responseContent);
}

std::string TIdHTTP::Get(const std::string& url, size_t bodyLimit) {
  TStringByteStream body(bodyLimit);
  DoRequest(hmGet, url, nullptr, &body);
  return body.TakeString();
}

void TIdHTTP::Head(const std::string& url) { DoRequest(hmHead, url, nullptr, nullptr); }

void TIdHTTP::Post(const std::string& url, const std::vector<std::string>& source,
                   TByteStream* responseContent) {
  TPostSource src;
  src.Lines = &source;
  PostFrom(url, src, responseContent);
}

void TIdHTTP::Post(const std::string& url, TByteStream& source, TByteStream* responseContent) {
  TPostSource src;
  src.Stream = &source;
  PostFrom(url, src, responseContent);
}

// A post goes out as HTTP/1.0 on a fresh connection; the caller's version is
// restored whatever happens.
void TIdHTTP::PostFrom(const std::string& url, const TPostSource& src,
                       TByteStream* responseContent) {
  if (Connected()) Disconnect();
  const TIdHTTPProtocolVersion old = ProtocolVersion;
  ProtocolVersion = pv1_0;
  try {
    DoRequest(hmPost, url, &src, responseContent);
  } catch (...) {
    ProtocolVersion = old;
    throw;
  }
  ProtocolVersion = old;
}

bool TIdHTTP::DoOnRedirect(std::string& dest, int32_t count) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(this, dest, count, handled);
  return handled;
}

void TIdHTTP::ParseURIExt(const std::string&, std::string&, std::string&, std::string&,
                          std::string&, std::string&, std::string&) {}

void TIdHTTP::SelectEndpoint(const std::string& protocol, const std::string& host, int& port,
                             bool& tls) {
  if (!protocol.empty()) LastProtocol = protocol;
  tls = IsHttps(protocol.empty() ? LastProtocol : protocol);
  // A URL without a host (a relative redirection) goes to the last host, and
  // to its port too.
  if (!host.empty()) {
    LastHost = host;
    FLastPort = port;
  } else if (port <= 0) {
    port = FLastPort;
  }
  const int targetPort = port > 0 ? port : DefaultPort(tls);
  std::string key;
  if (!Request.ProxyServer.empty()) {
    Host = Request.ProxyServer;
    Port = Request.ProxyPort;
    key = "proxy " + LowerCaseAscii(Host) + ":" + std::to_string(Port);
    if (tls) key += " tunnel " + LowerCaseAscii(LastHost) + ":" + std::to_string(targetPort);
  } else {
    Host = LastHost;
    Port = targetPort;
    key = std::string(tls ? "tls " : "tcp ") + LowerCaseAscii(Host) + ":" + std::to_string(Port);
  }
  // A kept connection serves only the endpoint (and TLS state) it was made for.
  if (Connected() && key != FConnKey) Disconnect();
  FConnKey = key;
}

void TIdHTTP::OpenTunnel(const std::string& targetHost, int targetPort) {
  // RFC 9110 9.3.6: the proxy answers CONNECT with a status and headers; a
  // 2xx turns the connection into a tunnel, anything else is the answer.
  std::string authority = targetHost + ":" + std::to_string(targetPort);
  std::string req = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!Request.ProxyUsername.empty())
    req += "Proxy-Authorization: Basic " +
           EncodeBase64(Request.ProxyUsername + ":" + Request.ProxyPassword) + "\r\n";
  if (HasUnsafeByte(authority) || HasUnsafeByte(Request.ProxyUsername) ||
      HasUnsafeByte(Request.ProxyPassword))
    throw EHttpRequestRefused("Request refused: unsafe bytes in the proxy request");
  Write(req + "\r\n");
  // The proxy's "200" only opens the tunnel; it is no answer to the request.
  // Should the handshake that follows fail, the code the caller set (0: no
  // response) must still be there, so the failure counts as a connection's.
  const int32_t codeBefore = ResponseCode;
  const std::string textBefore = ResponseText;
  // The proxy's header lines pass through WorkHeaders, which already hold
  // the request's own lines for inside the tunnel.
  TIdHeaderList requestLines = WorkHeaders;
  ReadStatusLine();
  RetrieveHeaders();
  if (ResponseCode / 100 != 2) {
    Response.GetHeaders(WorkHeaders);
    throw EIdProtocolReplyError(ResponseCode, ResponseText);
  }
  ResponseCode = codeBefore;
  ResponseText = textBefore;
  WorkHeaders = requestLines;
  RawHeaders.Clear();
}

void TIdHTTP::OpenConnection(bool tls, const std::string& targetHost, int targetPort) {
  if (!Request.ProxyServer.empty() && tls) {
    ConnectPlain();
    OpenTunnel(targetHost, targetPort);
    TlsHost = targetHost;
    StartTlsNow();
    if (OnConnected) OnConnected(this);
  } else {
    UseTls = tls;
    TlsHost = targetHost;
    Connect();
  }
}

std::string TIdHTTP::BuildRequest(TIdHTTPMethod method, const std::string& target,
                                  const std::string& hostLine) {
  static const char* const Methods[] = {"HEAD", "GET", "POST"};
  std::string req;
  req.reserve(512);
  req += Methods[method];
  req += ' ';
  req += target;
  req += ProtocolVersion == pv1_0 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n";
  req += "Host: " + hostLine + "\r\n";
  for (const auto& line : WorkHeaders.Lines()) {
    req += line;
    req += "\r\n";
  }
  req += "\r\n";
  return req;
}

void TIdHTTP::ReadStatusLine() {
  // An interim answer is no answer: should the final one never come, the
  // code the caller set (0: no response) is what it finds.
  const int32_t codeBefore = ResponseCode;
  const std::string textBefore = ResponseText;
  for (int interim = 0;; ++interim) {
    std::string line = ReadLn("\n", TimeoutDefault, MaxHeaderLine);
    if (ReadLnTimedOut) throw ENetTimeout();
    ResponseText = line;
    FPeerIs10 = line.size() >= 8 && EqualsIC(line.substr(5, 3), "1.0");
    std::string rest = ResponseText;
    Fetch(rest, " ");
    ResponseText = rest;
    std::string code = Fetch(rest, " ", false);
    // RFC 9112 4: three digits. Anything else is no status (and a negative
    // one must never pass for one of the program's own codes).
    if (code.size() != 3 || !std::isdigit(static_cast<unsigned char>(code[0])) ||
        !std::isdigit(static_cast<unsigned char>(code[1])) ||
        !std::isdigit(static_cast<unsigned char>(code[2])))
      throw ENetProtocolError("'" + code.substr(0, 40) + "' is not a valid integer value");
    ResponseCode = std::stoi(code);
    // Interim responses precede the real one (RFC 9110 15.2); 101 ends HTTP.
    if (ResponseCode / 100 != 1 || ResponseCode == 101) return;
    ResponseCode = codeBefore;
    ResponseText = textBefore;
    if (interim >= MaxInterimResponses) throw ENetProtocolError("Too many interim responses");
    RetrieveHeaders();
  }
}

void TIdHTTP::RetrieveHeaders() {
  WorkHeaders.Clear();
  RawHeaders.Clear();
  size_t total = 0;
  for (;;) {
    std::string line = ReadLn("\n", TimeoutDefault, MaxHeaderLine);
    if (ReadLnTimedOut) throw ENetTimeout();
    if (line.empty()) break;
    total += line.size() + 2;
    if (total > MaxHeaderBlock || RawHeaders.Count() >= MaxHeaderLines)
      throw ENetProtocolError("Header block too large");
    WorkHeaders.Add(line);
    RawHeaders.Add(line);
  }
}

void TIdHTTP::ParseFraming() {
  // RFC 9112 6.3: chunked wins over a length; two different lengths make the
  // message unreadable; a malformed or negative length counts as absent, one
  // too large for any body fails the request.
  FChunked = false;
  FBodyLength = -1;
  for (const auto& te : RawHeaders.GetValues("Transfer-Encoding"))
    if (LowerCaseAscii(te).find("chunked") != std::string::npos) FChunked = true;
  const auto lengths = RawHeaders.GetValues("Content-Length");
  for (const auto& v : lengths) {
    std::string rest = v;
    while (!rest.empty()) {
      const std::string piece = TrimAscii(Fetch(rest, ","));
      int64_t n;
      const TLengthParse parsed = ParseLength(piece, n);
      if (parsed == lpTooLarge)
        throw ENetProtocolError("Content-Length too large: " + piece.substr(0, 40));
      if (parsed != lpOk) continue;
      if (FBodyLength >= 0 && FBodyLength != n)
        throw ENetProtocolError("Conflicting Content-Length values");
      FBodyLength = n;
    }
  }
  // A message with both may have been framed one way by us and another way
  // by something between (RFC 9112 6.3): nothing after it can be trusted.
  if (FChunked && !lengths.empty()) FMustClose = true;
}

int64_t TIdHTTP::ReadChunkSize() {
  std::string line = ReadLn("\n", TimeoutDefault, MaxHeaderLine);
  if (ReadLnTimedOut) throw ENetTimeout();
  size_t cut = line.find_first_of("; \t");
  std::string digits = TrimAscii(line.substr(0, cut));
  if (digits.empty() || digits.size() > MaxChunkSizeDigits)
    throw ENetProtocolError("Bad chunk size: " + line.substr(0, 40));
  int64_t size = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      throw ENetProtocolError("Bad chunk size: " + line.substr(0, 40));
    size = size * 16 + d;
  }
  return size;
}

void TIdHTTP::ReadTrailers() {
  size_t total = 0;
  for (int n = 0;; ++n) {
    std::string line = ReadLn("\n", TimeoutDefault, MaxHeaderLine);
    if (ReadLnTimedOut) throw ENetTimeout();
    if (line.empty()) return;
    total += line.size() + 2;
    if (total > MaxHeaderBlock || n >= MaxHeaderLines)
      throw ENetProtocolError("Trailer block too large");
  }
}

void TIdHTTP::ReadResponseBody(TByteStream* responseContent) {
  const bool bodyless =
      FMethod == hmHead || ResponseCode / 100 == 1 || ResponseCode == 204 || ResponseCode == 304;
  if (!responseContent) {
    // A body nobody reads would be taken for the next answer.
    if (!bodyless && (FChunked || FBodyLength != 0)) FMustClose = true;
    return;
  }
  const bool toClose = !bodyless && !FChunked && FBodyLength < 0;
  // The document is what the coding holds. A 206 is a part of the coded
  // bytes, which cannot be decoded alone; the body of a failure or a
  // redirection is nobody's document.
  std::unique_ptr<TContentDecoder> decoder;
  TByteStream* sink = responseContent;
  if (!bodyless && ResponseCode / 100 == 2 && ResponseCode != 206 &&
      !IsGzipFileType(Response.ContentType)) {
    const TContentCoding coding = ContentCodingOf(Response.ContentEncoding);
    if (coding == TContentCoding::ccUnsupported) {
      FMustClose = true;
      throw EHttpContentError("Content-Encoding not supported: " +
                              Response.ContentEncoding.substr(0, 80));
    }
    if (coding != TContentCoding::ccIdentity) {
      decoder = std::make_unique<TContentDecoder>(*responseContent, coding, MaxDecodedBody,
                                                  MaxDecodedRatio);
      sink = decoder.get();
      BodyDecodedFrom = ContentCodingName(coding);
    }
  }
  BeginWork(wmRead, !bodyless && !FChunked && FBodyLength > 0 ? FBodyLength : 0);
  try {
    // BeginWork may close the connection when the body is not wanted; a body
    // our side stopped is no coded data that ended early.
    bool stopped = !bodyless && !Connected();
    if (!bodyless && Connected()) {
      if (FChunked) {
        DoStatus(hsStatusText, "Chunk Started");
        for (int64_t size = ReadChunkSize(); size > 0; size = ReadChunkSize()) {
          if (ReadStreamPart(sink, size) < size || !Connected()) {
            stopped = true;  // closed by our side
            break;
          }
          std::string end = ReadLn("\n", TimeoutDefault, MaxHeaderLine);
          if (ReadLnTimedOut) throw ENetTimeout();
          if (!end.empty()) throw ENetProtocolError("Missing line end after chunk data");
        }
        if (Connected()) ReadTrailers();
      } else if (FBodyLength > 0) {
        stopped = ReadStreamPart(sink, FBodyLength) < FBodyLength;
      } else if (toClose) {
        ReadStreamPart(sink, -1);
        stopped = !Connected();
      }
    }
    if (decoder && !stopped) decoder->Finish();
  } catch (const ENetClosedGracefully&) {
    EndWork(wmRead);
    throw EHttpTruncated();
  } catch (...) {
    EndWork(wmRead);
    throw;
  }
  if (toClose) FMustClose = true;
  EndWork(wmRead);
}

void TIdHTTP::ApplyKeepAliveRules() {
  if (ProtocolVersion == pv1_0 || FPeerIs10 || FMustClose) {
    Disconnect();
  } else if (HasConnectionToken(Response.Connection, "close")) {
    if (Connected()) Disconnect();
  } else {
    DisconnectUnlessIdle();
  }
}

void TIdHTTP::ResetResponse() {
  ResponseCode = 0;
  ResponseText.clear();
  Response = TIdHeaderInfo(this);
  RawHeaders.Clear();
  BodyDecodedFrom.clear();
  FPeerIs10 = false;
  FChunked = false;
  FBodyLength = -1;
}

void TIdHTTP::ResetDefaults() {
  TIdTCPClient::ResetDefaults();
  Port = 80;
  WorkHeaders.Clear();
  ProtocolVersion = pv1_1;
  RedirectCount = 0;
  RedirectMaximum = 15;
  Request = TIdHeaderInfo(this);
  ResetResponse();
  HandleRedirects = false;
  OnRedirect = nullptr;
  LastHost.clear();
  LastProtocol.clear();
  MaxDecodedBody = DefaultMaxDecodedBody;
  MaxDecodedRatio = DefaultMaxDecodedRatio;
  FMethod = hmGet;
  FMustClose = false;
  FConnKey.clear();
  FLastPort = -1;
}

void TIdHTTP::DoRequest(TIdHTTPMethod method, const std::string& url, const TPostSource* source,
                        TByteStream* responseContent) {
  // Counted per outermost request: failures before must not use up this
  // one's redirections.
  RedirectCount = 0;
  TChain chain;
  chain.Method = method;
  chain.Source = method == hmPost ? source : nullptr;
  if (chain.Source && chain.Source->Stream) chain.StreamStart = chain.Source->Stream->Position();
  std::string hop = url;
  for (;;) {
    ++RedirectCount;
    std::string next;
    if (!SendOne(chain, hop, responseContent, next)) break;
    hop = std::move(next);
  }
  RedirectCount = 0;
}

TIdHTTP::THopRequest TIdHTTP::PrepareHop(TChain& chain, const std::string& url) {
  ResetResponse();
  std::string protocol, host, path, document, portText, bookmark;
  ParseURIExt(url, protocol, host, path, document, portText, bookmark);
  // Only the web schemes go out. Any other URL (a "file:" target the caller
  // took from a Location) has no host of its own and would be asked of the
  // last host as a path: "GET /etc/passwd".
  if (!protocol.empty() && !EqualsIC(protocol, "http") && !IsHttps(protocol))
    throw EHttpRequestRefused("Request refused: not an http or https URL: " + url.substr(0, 200));
  int port = PortNumber(portText);
  // A port that is no port (0, 99999, "80\..\x", "abc") must not quietly
  // become the scheme's default: that would fetch another server's document.
  // Only an empty one stands for the default (RFC 3986 3.2.3).
  const std::string portDigits = TrimAscii(portText);
  if (port < 0 && !portDigits.empty())
    throw ENetConnectError("Invalid port " + portDigits.substr(0, 20));
  THopRequest hop;
  bool& tls = hop.Tls;
  SelectEndpoint(protocol, host, port, tls);
  const int targetPort = port > 0 ? port : DefaultPort(tls);
  hop.TargetPort = targetPort;

  // Credentials belong to the site of the first hop (RFC 9110 15.4): once a
  // hop leaves its scheme, host or port they stay behind for the rest.
  const std::string origin = std::string(tls ? "https://" : "http://") + LowerCaseAscii(LastHost) +
                             ":" + std::to_string(targetPort);
  if (chain.Origin.empty())
    chain.Origin = origin;
  else if (origin != chain.Origin)
    chain.Credentials = false;

  std::string& target = hop.Target;
  target = path + document;
  if (!Request.ProxyServer.empty() && !tls) {
    // Absolute form for a proxy (RFC 9112 3.2.2), with the port the URL named.
    target = (protocol.empty() ? LastProtocol : protocol) + "://" + LastHost +
             (port > 0 ? ":" + std::to_string(port) : "") + path + document;
  }
  // Host names the port when it is not the scheme's (RFC 9110 7.2).
  std::string& hostLine = hop.HostLine;
  hostLine = LastHost + (targetPort != DefaultPort(tls) ? ":" + std::to_string(targetPort) : "");

  const TIdHTTPMethod method = chain.Method;
  const TPostSource* source = chain.Source;
  WorkHeaders.Clear();
  Request.ContentLength = 0;
  if (method == hmPost && source) {
    if (source->Lines) {
      int64_t n = 0;
      for (const auto& l : *source->Lines) n += static_cast<int64_t>(l.size()) + 2;
      Request.ContentLength = n;
    } else if (source->Stream) {
      // Every hop sends the body from where the caller's stream stood, and
      // announces exactly that.
      source->Stream->Seek(chain.StreamStart);
      Request.ContentLength = std::max<int64_t>(0, source->Stream->Size() - chain.StreamStart);
    }
  }
  Request.SetHeaders(WorkHeaders);
  if (!Request.ProxyServer.empty() && tls)
    WorkHeaders.SetValue("Proxy-Authorization", "");  // only the tunnel carries it
  if (!chain.Credentials)
    for (const char* name : CredentialHeaders) WorkHeaders.SetValue(name, "");
  if (chain.BecameGet) WorkHeaders.SetValue("Content-Type", "");  // no body to describe
  if (HasUnsafeByte(target) || HasUnsafeByte(hostLine))
    throw EHttpRequestRefused("Request refused: the request target holds CR, LF or a zero byte");
  for (const auto& line : WorkHeaders.Lines())
    if (HasUnsafeByte(line))
      throw EHttpRequestRefused("Request refused: a header value holds CR, LF or a zero byte");

  return hop;
}

bool TIdHTTP::SendOne(TChain& chain, const std::string& url, TByteStream* responseContent,
                      std::string& next) {
  const THopRequest hop = PrepareHop(chain, url);
  const TIdHTTPMethod method = chain.Method;
  const TPostSource* source = chain.Source;
  FMethod = method;
  FMustClose = false;
  bool responseComplete = false;
  try {
    if (Connected()) DisconnectUnlessIdle();
    if (!Connected()) OpenConnection(hop.Tls, LastHost, hop.TargetPort);

    Write(BuildRequest(method, EncodeRequestTarget(hop.Target), hop.HostLine));
    if (method == hmPost && source) {
      if (source->Lines)
        WriteStrings(*source->Lines);
      else if (source->Stream)
        WriteStream(*source->Stream);
    }
    DoStatus(hsRequestSent);

    ReadStatusLine();
    RetrieveHeaders();
    Response.GetHeaders(WorkHeaders);
    ParseFraming();
    if (ResponseCode == 101) FMustClose = true;

    const int cls = ResponseCode / 100;
    const bool redirection = !Response.Location.empty() || (cls == 3 && ResponseCode != 304);
    ReadResponseBody(responseContent);
    responseComplete = true;
    if (!redirection) {
      if (cls != 2) {
        // The answer was read whole: the connection stays usable unless the
        // peer or the encrypted session ends it.
        if (hop.Tls) Disconnect();
        ApplyKeepAliveRules();
        throw EIdProtocolReplyError(ResponseCode, ResponseText);
      }
      ApplyKeepAliveRules();
      return false;
    }

    return TakeRedirection(chain, url, responseContent, next);
  } catch (const EIdProtocolReplyError&) {
    // A whole answer was read: the connection is in step unless the answer
    // came from a proxy refusing a tunnel.
    if (!responseComplete) Disconnect();
    throw;
  } catch (...) {
    // Anything else leaves the connection at an unknown place in the stream.
    Disconnect();
    throw;
  }
}

bool TIdHTTP::TakeRedirection(TChain& chain, const std::string& url, TByteStream* responseContent,
                              std::string& next) {
  std::string dest = Response.Location;
  ApplyKeepAliveRules();
  if (!HandleRedirects) {
    if (!DoOnRedirect(dest, RedirectCount)) throw EIdProtocolReplyError(ResponseCode, ResponseText);
    Response.Location = dest;
    return false;
  }
  // Reaching the limit is a failure: the last redirection's page is not
  // what was asked for.
  if (RedirectCount >= RedirectMaximum)
    throw EHttpRedirectError(ResponseCode, "Too many redirects");
  if (responseContent) {
    // No bytes of the redirection's page may stay in front of the real body.
    responseContent->Seek(0);
    responseContent->SetSize(0);
  }
  if (!DoOnRedirect(dest, RedirectCount)) return false;
  dest = TrimAscii(dest);
  if (dest.empty()) throw EHttpRedirectError(ResponseCode, "Redirect without a target");
  next = ResolveURL(url, dest);
  // Only the web schemes: a "file:" target would be asked of this very
  // server as a path ("GET /etc/passwd").
  const TURLParts parts = ParseURL(next);
  if (!IsWebURL(next) || parts.NetLoc.size() <= 2)
    throw EHttpRedirectError(ResponseCode,
                             "Redirect refused: not an http or https URL: " + next.substr(0, 200));
  // RFC 9110 15.4.2-4: after 301 and 302 (as browsers do) and 303 a POST
  // becomes a GET; only 307 and 308 repeat it, body and all.
  if (chain.Method == hmPost && ResponseCode != 307 && ResponseCode != 308) {
    chain.Method = hmGet;
    chain.Source = nullptr;
    chain.BecameGet = true;
  }
  return true;
}

}  // namespace qv
