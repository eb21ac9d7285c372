#pragma once

// The HTTP/1.x client: one request and one response per call on a connection
// that is kept open for the next call to the same endpoint (RFC 9112).
//
// "https" URLs are fetched over TLS (the peer verified, see TIdTCPClient);
// through a proxy they go through a CONNECT tunnel. Responses are read with
// bounds: status and header lines 16 KiB, a header block 64 KiB or 256
// lines, chunked framing checked, Content-Length as a 64-bit count.
//
// A connection is used again only when the last response left it at rest:
// nothing buffered or arriving beyond the message (TIdTCPConnection::
// DisconnectUnlessIdle), no close announced, no framing that leaves the end
// in doubt. Each request starts with an empty response record (ResponseCode
// 0), so a failure never shows an earlier request's answer.
//
// Redirections followed by the client (HandleRedirects) are resolved against
// the request URL, must be "http:" or "https:" with a host, and are counted
// per outermost request; a hop to another scheme, host or port goes without
// Username, Password, "Authorization" and "Cookie" lines. A POST is sent
// again with its body only for 307 and 308; any other redirection makes it
// a GET without a body.
//
// The request target is sent with control bytes, blanks, '"', '<', '>' and
// bytes from 0x80 percent-encoded; the URL the caller gave is not changed.
//
// The body of a success (2xx but 206, whose part cannot be decoded alone) in
// the gzip or deflate content coding is decoded as it arrives, within
// MaxDecodedBody and MaxDecodedRatio, so the caller's stream holds the
// document itself (see engine/contentcoding.h); BodyDecodedFrom tells it
// was. A body labelled a gzip file is stored as sent.
//
// A TIdHTTP is used by one thread at a time; only TIdTCPConnection::Cut may
// come from another thread. Failures raise: EIdProtocolReplyError for a
// status the request does not accept (after the body was read), ENetError
// and its kin for the connection and the peer's framing, EHttpRequestRefused
// for a request that cannot be sent safely, EHttpRedirectError for a
// redirection that is not followed, EHttpTruncated for a body that ended
// before its end, EHttpContentError for a coded body that does not decode,
// ends early or passes a bound.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/bytestream.h"
#include "platform/headerlist.h"
#include "platform/httpdate.h"
#include "platform/net.h"

namespace qv {

// A request that is refused before anything is sent: its target or header
// values hold CR, LF or a zero byte, or its URL names a scheme other than
// "http" and "https".
class EHttpRequestRefused : public ENetError {
 public:
  using ENetError::ENetError;
};

// A redirection the client does not follow: past RedirectMaximum, without a
// target, or to a URL other than "http:" or "https:". The response is the
// redirection's (ResponseCode, Response), read whole.
class EHttpRedirectError : public EIdProtocolReplyError {
 public:
  using EIdProtocolReplyError::EIdProtocolReplyError;
};

// The connection ended inside a body: short of its length, inside chunked
// framing, or (TLS) without close_notify where the close delimits it.
class EHttpTruncated : public ENetError {
 public:
  EHttpTruncated() : ENetError("Body truncated: the connection closed before its end") {}
};

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };
enum TIdHTTPMethod { hmHead, hmGet, hmPost };

// One set of header values: the request's to send, or the response's read.
class TIdHeaderInfo {
 public:
  explicit TIdHeaderInfo(void* owner = nullptr) : Owner(owner) { Clear(); }

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  std::string Connection;
  std::string ContentEncoding;
  std::string ContentLanguage;
  int64_t ContentLength = 0;  // 0 = not given
  int64_t ContentRangeEnd = 0;
  int64_t ContentRangeStart = 0;
  std::string ContentType;
  std::string ContentVersion;
  TDateTime Date = 0;
  TDateTime Expires = 0;
  TIdHeaderList ExtraHeaders;  // lines no property above holds, "Name: value"
  std::string From;
  TDateTime LastModified = 0;
  std::string Location;
  std::string Password;
  std::string ProxyAuthenticate;
  std::string ProxyPassword;
  int32_t ProxyPort = 0;
  std::string ProxyServer;  // empty = no proxy
  std::string ProxyUsername;
  std::string Referer;
  std::string Server;
  std::string UserAgent;
  std::string Username;  // empty = no basic authentication
  std::string WWWAuthenticate;
  void* Owner;

  // Resets the values a response fills and the proxy; AcceptEncoding,
  // AcceptLanguage, From, Referer, Username and Password keep theirs.
  void Clear();
  // Empties list, then writes the request's header lines in the fixed order.
  void SetHeaders(TIdHeaderList& list) const;
  // Takes the known response headers out of list into the properties; the
  // rest go to ExtraHeaders. Raises ENetProtocolError for a Content-Range
  // whose numbers are not numbers.
  void GetHeaders(TIdHeaderList& list);
  void SetExtraHeaders(const TIdHeaderList& list) { ExtraHeaders.Assign(list); }
  void AssignTo(TIdHeaderInfo& dest) const { dest = *this; }
};

class TIdHTTP;
using TIdHTTPOnRedirectEvent =
    std::function<void(TIdHTTP* sender, std::string& dest, int32_t& numRedirect, bool& handled)>;

class TIdHTTP : public TIdTCPClient {
 public:
  TIdHTTP();
  ~TIdHTTP() override = default;

  TIdHeaderList WorkHeaders;  // request lines while sending, response lines while parsing
  TIdHeaderList RawHeaders;   // every header line of the last response
  TIdHTTPProtocolVersion ProtocolVersion = pv1_1;
  int32_t RedirectCount = 0;  // requests sent so far for the current outermost request
  int32_t RedirectMaximum = 15;
  TIdHeaderInfo Request{this};
  TIdHeaderInfo Response{this};
  int32_t ResponseCode = 0;
  std::string ResponseText;  // the status line after its first word
  bool HandleRedirects = false;
  TIdHTTPOnRedirectEvent OnRedirect;
  std::string LastHost;
  std::string LastProtocol;
  // Bounds of a body decoded from its content coding: decoded bytes, and
  // decoded bytes per coded byte (past TContentDecoder::RatioFloor).
  int64_t MaxDecodedBody = DefaultMaxDecodedBody;
  int64_t MaxDecodedRatio = DefaultMaxDecodedRatio;
  static constexpr int64_t DefaultMaxDecodedBody = int64_t{4} << 30;
  static constexpr int64_t DefaultMaxDecodedRatio = 200;
  // The content coding the last response's body was decoded from ("gzip",
  // "deflate"); "" when the body was taken as sent.
  std::string BodyDecodedFrom;

  void Get(const std::string& url, TByteStream* responseContent);
  // The body as text; bodyLimit bounds it (0 = none).
  std::string Get(const std::string& url, size_t bodyLimit = 0);
  void Head(const std::string& url);
  void Post(const std::string& url, const std::vector<std::string>& source,
            TByteStream* responseContent);
  void Post(const std::string& url, TByteStream& source, TByteStream* responseContent);

  virtual bool DoOnRedirect(std::string& dest, int32_t count);
  // Splits url into its request parts; the base leaves them empty.
  virtual void ParseURIExt(const std::string& url, std::string& protocol, std::string& host,
                           std::string& path, std::string& document, std::string& port,
                           std::string& bookmark);
  // The post body: lines or a stream (or neither).
  struct TPostSource {
    const std::vector<std::string>* Lines = nullptr;
    TByteStream* Stream = nullptr;
  };
  void PostFrom(const std::string& url, const TPostSource& src, TByteStream* responseContent);
  // One outermost request: RedirectCount starts again from 0, and each hop
  // of a followed redirection adds one.
  virtual void DoRequest(TIdHTTPMethod method, const std::string& url, const TPostSource* source,
                         TByteStream* responseContent);
  void RetrieveHeaders();
  void ReadResponseBody(TByteStream* responseContent);
  // One chunk-size line: the hexadecimal size before any ";" or blank.
  // Raises ENetProtocolError when it is no hexadecimal number or absurd.
  int64_t ReadChunkSize();

  // A new client's settings, handlers, request and response records, and no
  // memory of the last host. The connection must be closed.
  void ResetDefaults() override;

 private:
  // What stays the same, or changes, along the hops of one request.
  struct TChain {
    TIdHTTPMethod Method = hmGet;
    const TPostSource* Source = nullptr;
    int64_t StreamStart = 0;  // where a post stream's body begins
    std::string Origin;       // scheme, host and port of the first hop
    bool Credentials = true;  // the caller's credentials go with the hop
    bool BecameGet = false;   // a POST turned into a GET by a redirection
  };
  // Where one request of the chain goes and what its request line and Host
  // line say.
  struct THopRequest {
    bool Tls = false;
    int TargetPort = 0;
    std::string Target;
    std::string HostLine;
  };
  // Sends one request of the chain and reads its answer. Returns true with
  // next set when a redirection is to be followed.
  bool SendOne(TChain& chain, const std::string& url, TByteStream* responseContent,
               std::string& next);
  // The endpoint of url chosen, the chain's credentials kept to its first
  // site, and the request's headers made (WorkHeaders). Raises
  // EHttpRequestRefused for a URL or header the request must not carry,
  // ENetConnectError for a port that is no port.
  THopRequest PrepareHop(TChain& chain, const std::string& url);
  // After a redirection's answer was read: false when the caller takes it
  // as it is (no redirects followed, or OnRedirect said no), else true with
  // next, the address to ask. Raises for a redirection that is refused.
  bool TakeRedirection(TChain& chain, const std::string& url, TByteStream* responseContent,
                       std::string& next);
  void ResetResponse();
  void SelectEndpoint(const std::string& protocol, const std::string& host, int& port, bool& tls);
  void OpenConnection(bool tls, const std::string& targetHost, int targetPort);
  void OpenTunnel(const std::string& targetHost, int targetPort);
  std::string BuildRequest(TIdHTTPMethod method, const std::string& target,
                           const std::string& hostLine);
  void ReadStatusLine();
  void ReadTrailers();
  void ParseFraming();
  void ApplyKeepAliveRules();

  TIdHTTPMethod FMethod = hmGet;
  bool FPeerIs10 = false;
  bool FMustClose = false;
  bool FChunked = false;
  int64_t FBodyLength = -1;  // -1 = no length given
  std::string FConnKey;      // the endpoint the open connection serves
  int FLastPort = -1;        // the port LastHost was named with
};

// Whether the HTTP "Connection" value lists the token (any case).
bool HasConnectionToken(const std::string& value, const std::string& token);

}  // namespace qv
