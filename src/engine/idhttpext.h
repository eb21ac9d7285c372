#pragma once

// The HTTP client every worker thread holds: a TIdHTTP whose fetches never
// raise. Each fetch prepares the URL, sends the request at most twice (once
// more only when the first try got no status line at all, typically a kept
// connection the server had closed), and reports failure by result with the
// response state and the failure (LastFailure) left for the caller to read.
//
// Threads: a fetch runs on its worker thread. DisconnectSocketExt may be
// called from any thread (the watchdog cuts a hanging transfer with it);
// Lock serialises it against DisconnectExt. Busy and WorkPosition may be
// read from any thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/fetchfailure.h"
#include "engine/idhttp.h"

namespace qv {

class TIdHTTPExt : public TIdHTTP {
 public:
  TIdHTTPExt();

  std::mutex Lock;
  int32_t TimeOutExt = 0;  // ms for one line read; 0 = without limit
  TIdWorkEvent SavedOnWork;
  std::atomic<int64_t> WorkPosition{0};
  std::atomic<uint8_t> Busy{1};
  // Why the last fetch failed: its kind, the answer's code and its text
  // ("Read timed out.", "Too many redirects", "404 Not Found", a framing or
  // TLS error...). None after a success. A failure on the answer's status
  // alone (OnStatus) has the status line as its text: the code says why,
  // and nothing else went wrong.
  TFetchFailure LastFailure;
  // The last fetch found its host unreachable (its failure is of that
  // kind): the name did not resolve, or no address of it took the
  // connection. Through a proxy the proxy's answer speaks for the host, and
  // its own failure says nothing of it.
  bool HostUnreachable = false;

  // Most bytes a body fetched into memory may have.
  static constexpr size_t MaxTextBody = 64u * 1024 * 1024;

  // The body, or "" on any failure.
  std::string GetExt(const std::string& url);
  // The body into body; false on any failure, so an empty document is told
  // from a failed fetch.
  bool GetText(const std::string& url, std::string& body);
  // The body stored in fileName (created or emptied first); false on any
  // failure, the file then holding the part of the body that arrived (none
  // of a body decoded from its content coding). A limit (bytes, 0 = none)
  // fails a body that would grow past it. With deferFile the file, and any
  // folder it needs, is made only once the body's first byte arrives or the
  // fetch ends well: a fetch that brings no body leaves nothing on disk.
  bool GetExt(const std::string& url, const std::string& fileName, int64_t limit = 0,
              bool deferFile = false);
  bool HeadExt(const std::string& url);
  // A response header held in no property ("Content-Location"); "" if none.
  std::string ExtraResponse(const std::string& name) const;
  // Closes the connection in the ordinary way (the owning thread).
  void DisconnectExt() noexcept;
  // Cuts the connection at once; any thread.
  void DisconnectSocketExt() noexcept;
  void ThisWork(TIdTCPConnection* sender, TWorkMode mode, int64_t count);
  // A new client's state (Busy aside), for a client handed to another
  // thread: every handler, header, credential, counter and the last host
  // forgotten. The connection must be closed.
  void ResetDefaults() override;

  void BeginWork(TWorkMode mode, int64_t size) override;
  // TimeOutExt when set, else the time-out asked for (ReadTimeout by default).
  std::string ReadLn(const std::string& terminator, int timeoutMs, size_t maxLength) override;
  void ParseURIExt(const std::string& url, std::string& protocol, std::string& host,
                   std::string& path, std::string& document, std::string& port,
                   std::string& bookmark) override;

 private:
  enum TFetch { fkText, fkFile, fkHead };
  bool Fetch(TFetch kind, const std::string& url, const std::string& fileName, std::string* text,
             int64_t limit = 0, bool deferFile = false);
};

}  // namespace qv
