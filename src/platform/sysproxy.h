#pragma once

#include <string>

namespace qv {

// The system's proxy setting, taken from the environment the way command-line
// tools share it: http_proxy, https_proxy and ftp_proxy (each also in upper
// case; the lower-case form wins). Values may be "host:port" or a URL
// ("http://user:pw@host:port/"); the credentials are never passed on.

// True when any of the variables holds a proxy.
bool SystemProxyEnabled();

// The proxies as one text, one "protocol=host:port" entry per protocol set,
// joined by ";", in the order http, https, ftp: "http=p:3128;ftp=q:21". A URL
// value without a port takes its scheme's (80 for http, 443 for https). ""
// when no variable is set.
std::string SystemProxyServer();

}  // namespace qv
