#include "components/nmhttpext.h"

#include "model/strutils.h"
#include "model/uriparser.h"

namespace qv {

TNMHTTPExt::TNMHTTPExt() = default;

void TNMHTTPExt::HTTPConnect() {
  Connected = 1;
  TNMHTTP::HTTPConnect();
}

void TNMHTTPExt::HTTPSuccess(int) { Succeeded = 1; }

void TNMHTTPExt::HTTPFailure(int) { Succeeded = 0; }

std::string TNMHTTPExt::PrepareURL(const std::string& url) {
  // The scheme is left as given: turning "https" into "http" would send the
  // request, cookies and credentials included, in clear to another resource.
  return EscapeURL(TrimBlanks(url));
}

bool TNMHTTPExt::GetExt(const std::string& url) {
  try {
    Get(PrepareURL(url));
    return true;
  } catch (...) {
    return false;
  }
}

bool TNMHTTPExt::HeadExt(const std::string& url) {
  try {
    Head(PrepareURL(url));
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace qv
