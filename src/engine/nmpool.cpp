#include "engine/nmpool.h"

#include <mutex>

#include "engine/idftpext.h"
#include "engine/idhttpext.h"

namespace qv {

namespace {

struct TPools {
  TObjectPool<TVkThreadTimer> Timers;
  TObjectPool<TDNSocket> Sockets;
  TObjectPool<TIdHTTPExt> HTTP;
  TObjectPool<TIdFTPExt> FTP;
};

std::once_flag PoolsMade;
TPools* Pools = nullptr;

// Never freed: pooled objects live until the program ends, and the timers
// must not outlive their tick source in static destruction.
TPools& P() {
  CreatePools();
  return *Pools;
}

}  // namespace

void CreatePools() {
  std::call_once(PoolsMade, [] { Pools = new TPools(); });
}

std::unique_ptr<TVkThreadTimer> TakeTimer(TDNSocket* socket, TIdHTTPExt* http, TIdFTPExt* ftp) {
  if (auto t = P().Timers.Take()) {
    t->Bind(socket, http, ftp);
    return t;
  }
  return std::make_unique<TVkThreadTimer>(socket, http, ftp);
}

std::unique_ptr<TDNSocket> TakeSocket(TDNList* hostList) {
  if (auto s = P().Sockets.Take()) return s;
  return std::make_unique<TDNSocket>(hostList);
}

std::unique_ptr<TIdHTTPExt> TakeHTTP() {
  if (auto h = P().HTTP.Take()) return h;
  return std::make_unique<TIdHTTPExt>();
}

std::unique_ptr<TIdFTPExt> TakeFTP() {
  if (auto f = P().FTP.Take()) return f;
  return std::make_unique<TIdFTPExt>();
}

void ReturnTimer(std::unique_ptr<TVkThreadTimer> timer) {
  if (!timer) return;
  timer->SetEnabled(false);
  timer->SetInterval(1000);
  timer->OnTimer = nullptr;
  timer->Count = 0;
  timer->Fired = 0;
  timer->Bind(nullptr, nullptr, nullptr);
  P().Timers.Put(std::move(timer));
}

void ReturnSocket(std::unique_ptr<TDNSocket> socket) {
  if (!socket) return;
  socket->Close();
  P().Sockets.Put(std::move(socket));
}

void ReturnHTTP(std::unique_ptr<TIdHTTPExt> http) {
  if (!http) return;
  http->DisconnectSocketExt();
  // No thread uses the client any more, so the cut connection is closed
  // here as well: the next taker starts on a fresh one.
  http->DisconnectExt();
  http->ResetDefaults();
  P().HTTP.Put(std::move(http));
}

void ReturnFTP(std::unique_ptr<TIdFTPExt> ftp) {
  if (!ftp) return;
  ftp->ResetExt();  // QUIT, then as a new client: no credentials, handlers or settings
  P().FTP.Put(std::move(ftp));
}

}  // namespace qv
