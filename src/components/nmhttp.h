#pragma once

// The HTTP component the extension builds on: the program's own HTTP client
// (TIdHTTPExt, for its URL handling and TLS) behind operations that raise on
// any failure, as the component set it stands in for does.

#include <functional>
#include <string>

#include "engine/idhttpext.h"

namespace qv {

class TNMHTTP {
 public:
  TNMHTTP();
  virtual ~TNMHTTP() = default;
  TNMHTTP(const TNMHTTP&) = delete;
  TNMHTTP& operator=(const TNMHTTP&) = delete;

  // The client: proxy, credentials, CAFile and time-outs are set on it.
  TIdHTTPExt Client;
  // The body of the last Get.
  std::string Body;
  std::function<void(TNMHTTP* sender)> OnConnect;

  // Called each time a connection to a server is made; fires OnConnect.
  virtual void HTTPConnect();
  // Raise on a refused or failed request (a status other than 2xx included).
  virtual void Get(const std::string& url);
  virtual void Head(const std::string& url);
};

}  // namespace qv
