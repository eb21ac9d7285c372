#include "components/nmhttp.h"

namespace qv {

TNMHTTP::TNMHTTP() {
  Client.OnConnected = [this](TIdTCPConnection*) { HTTPConnect(); };
}

void TNMHTTP::HTTPConnect() {
  if (OnConnect) OnConnect(this);
}

void TNMHTTP::Get(const std::string& url) {
  Body.clear();
  Body = Client.Get(url, TIdHTTPExt::MaxTextBody);
}

void TNMHTTP::Head(const std::string& url) { Client.Head(url); }

}  // namespace qv
