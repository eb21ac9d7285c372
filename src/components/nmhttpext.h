#pragma once

// The HTTP component with operations that take whole URLs and report failure
// by result instead of raising.

#include <cstdint>
#include <string>

#include "components/nmhttp.h"

namespace qv {

class TNMHTTPExt : public TNMHTTP {
 public:
  TNMHTTPExt();

  uint8_t Connected = 0;  // a connection was made
  uint8_t Succeeded = 0;  // the last command succeeded

  void HTTPConnect() override;
  // Shaped as the component's success and failure events, for an owner that
  // attaches them.
  void HTTPSuccess(int command);
  void HTTPFailure(int command);

  // The URL trimmed and escaped (blanks, quotes, "#", "<", ">"), then fetched
  // as it is: an "https" URL stays on TLS. False when anything failed.
  bool GetExt(const std::string& url);
  bool HeadExt(const std::string& url);

  // The URL as GetExt and HeadExt send it.
  static std::string PrepareURL(const std::string& url);
};

}  // namespace qv
