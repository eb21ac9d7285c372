#include "engine/idhttpext.h"

#include <exception>
#include <memory>

#include "model/uriparser.h"

namespace qv {

TIdHTTPExt::TIdHTTPExt() = default;

std::string TIdHTTPExt::GetExt(const std::string& url) {
  std::string text;
  return Fetch(fkText, url, "", &text) ? text : std::string();
}

bool TIdHTTPExt::GetText(const std::string& url, std::string& body) {
  body.clear();
  if (Fetch(fkText, url, "", &body)) return true;
  body.clear();
  return false;
}

bool TIdHTTPExt::GetExt(const std::string& url, const std::string& fileName, int64_t limit,
                        bool deferFile) {
  return Fetch(fkFile, url, fileName, nullptr, limit, deferFile);
}

bool TIdHTTPExt::HeadExt(const std::string& url) { return Fetch(fkHead, url, "", nullptr); }

std::string TIdHTTPExt::ExtraResponse(const std::string& name) const {
  return Response.ExtraHeaders.GetValue(name);
}

void TIdHTTPExt::DisconnectExt() noexcept {
  std::lock_guard<std::mutex> guard(Lock);
  try {
    Disconnect();
  } catch (...) {
  }
}

void TIdHTTPExt::DisconnectSocketExt() noexcept {
  std::lock_guard<std::mutex> guard(Lock);
  Cut();
}

void TIdHTTPExt::ThisWork(TIdTCPConnection* sender, TWorkMode mode, int64_t count) {
  WorkPosition = count;
  if (SavedOnWork) SavedOnWork(sender, mode, count);
}

void TIdHTTPExt::BeginWork(TWorkMode mode, int64_t size) {
  TIdHTTP::BeginWork(mode, size);
  // The body of a failure, and the empty body a "Content-Length: 0"
  // announces, are not read: the connection is closed instead. Sending a
  // body (a post) concerns no answer yet.
  // A 304 has no body to skip (RFC 9110 15.4.5): closing after it would make
  // every unchanged file of a refresh cost a new connection.
  if (mode == wmRead && ResponseCode != 304 &&
      !(ResponseCode / 100 == 2 && RawHeaders.GetValue("Content-Length") != "0"))
    DisconnectExt();
}

std::string TIdHTTPExt::ReadLn(const std::string& terminator, int timeoutMs, size_t maxLength) {
  return TIdHTTP::ReadLn(terminator, TimeOutExt != 0 ? TimeOutExt : timeoutMs, maxLength);
}

void TIdHTTPExt::ResetDefaults() {
  TIdHTTP::ResetDefaults();
  TimeOutExt = 0;
  SavedOnWork = nullptr;
  WorkPosition = 0;
  LastFailure = {};
  HostUnreachable = false;
}

void TIdHTTPExt::ParseURIExt(const std::string& url, std::string& protocol, std::string& host,
                             std::string& path, std::string& document, std::string& port,
                             std::string& bookmark) {
  std::string collapsed = CollapseURLSlashes(url);
  TIdHTTP::ParseURIExt(collapsed, protocol, host, path, document, port, bookmark);
  TURIParts parts = ParseURIParts(collapsed);
  protocol = parts.Protocol;
  host = parts.Host;
  path = parts.Path;
  document = parts.Document;
  port = parts.Port;
  bookmark = parts.Bookmark;
}

namespace {

// The body's file, made at once or at its first byte.
class TBodyFile {
 public:
  TBodyFile(const std::string& fileName, int64_t limit, bool defer) {
    if (defer)
      FDeferred = std::make_unique<TFileOnFirstWrite>(fileName, true, limit);
    else
      FFile = std::make_unique<TFileByteStream>(fileName, TFileByteStream::fmCreate, limit);
  }
  TByteStream* Stream() { return FFile ? static_cast<TByteStream*>(FFile.get()) : FDeferred.get(); }
  void Close() {
    if (FFile)
      FFile->Close();
    else
      FDeferred->Close();
  }
  // Keeps size bytes of what arrived and closes the file; a file not made
  // yet stays unmade.
  void CutAndClose(int64_t size) {
    if (FDeferred && !FDeferred->Made()) return;
    Stream()->SetSize(size);
    Close();
  }

 private:
  std::unique_ptr<TFileByteStream> FFile;
  std::unique_ptr<TFileOnFirstWrite> FDeferred;
};

}  // namespace

bool TIdHTTPExt::Fetch(TFetch kind, const std::string& rawUrl, const std::string& fileName,
                       std::string* text, int64_t limit, bool deferFile) {
  std::unique_ptr<TBodyFile> file;
  bool workHooked = false;
  auto restoreWork = [&] {
    if (workHooked) {
      OnWork = SavedOnWork;
      SavedOnWork = nullptr;
      workHooked = false;
    }
  };
  try {
    if (Request.Accept.empty()) Request.Accept = "*/*";
    std::string trimmed = TrimAscii(rawUrl);
    std::string url = EscapeURL(NormaliseURL(trimmed));
    WorkPosition = 0;
    SavedOnWork = OnWork;
    OnWork = [this](TIdTCPConnection* s, TWorkMode m, int64_t n) { ThisWork(s, m, n); };
    workHooked = true;
    Busy = 1;
    LastFailure = {};
    HostUnreachable = false;
    if (kind == fkFile) file = std::make_unique<TBodyFile>(fileName, limit, deferFile);

    for (int attempt = 1;; ++attempt) {
      try {
        if (kind == fkText) {
          *text = Get(url, MaxTextBody);
        } else if (kind == fkFile) {
          Get(url, file->Stream());
        } else {
          Head(url);
        }
        break;
      } catch (const ENetCancelled&) {
        throw;  // a cut means stop: never a second try
      } catch (const EHttpRequestRefused&) {
        throw;  // nothing was sent, and the same request is refused again
      } catch (...) {
        if (ResponseCode != 0 || attempt != 1) throw;
        DisconnectExt();
        if (file) {
          file->Stream()->SetSize(0);
          file->Stream()->Seek(0);
        }
        WorkPosition = 0;
      }
    }
    Busy = 0;
    restoreWork();
    if (file) file->Close();
    return true;
  } catch (...) {
    LastFailure = FailureOf(std::current_exception(), ResponseCode);
    HostUnreachable = Request.ProxyServer.empty() && LastFailure.Kind == TFailKind::fkUnreachable;
    // Details text is one line; a peer's reason phrase may hold a lone CR.
    LastFailure = FailureOf(std::current_exception(), ResponseCode);
    Busy = 0;
    restoreWork();
    try {
      // What arrived of a coded body is no prefix of the document's bytes
      // to resume from.
      if (file) file->CutAndClose(BodyDecodedFrom.empty() ? WorkPosition.load() : 0);
    } catch (...) {
    }
    Response.Location = RawHeaders.GetValue("Location");
    if (ResponseCode == 0 || ResponseCode / 100 == 5) DisconnectExt();
    if (ResponseCode >= 400) {
      Response.ContentLength = 0;
      RawHeaders.SetValue("Content-Length", "");
      Response.ContentType.clear();
      RawHeaders.SetValue("Content-Type", "");
    }
    if (text) text->clear();
    return false;
  }
}

}  // namespace qv
