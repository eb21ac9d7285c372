#pragma once

#include <string>

#include "platform/store.h"

namespace qv {

// Names of the values kept in the settings store, with the type each is
// stored as. Settings are stored under these names byte for byte.
inline const std::string RegCurrentURLFile = "CurrentURLFile";    // string
inline const std::string RegPassWords = "PassWords";              // string
inline const std::string RegDailyTime = "DailyTime";              // integer
inline const std::string RegRepeatTime = "RepeatTime";            // string
inline const std::string RegRepeatUnits = "RepeatUnits";          // string
inline const std::string RegStayConnected = "StayConnected";      // integer
inline const std::string RegDialups = "Dialups";                  // integer
inline const std::string RegSchedualMirrors = "SchedualMirrors";  // string
inline const std::string RegSchedualTypes = "SchedualTypes";      // binary
inline const std::string RegCacheFileLife = "CacheFileLife";      // string
inline const std::string RegUseModem = "UseModem";                // boolean
inline const std::string RegEmail = "Email";                      // string
inline const std::string RegUserAgent = "UserAgent";              // string
inline const std::string RegShowHelp = "ShowHelp";                // boolean
inline const std::string RegHTTPProxy = "HTTPProxy";              // string
inline const std::string RegHTTPProxyPort = "HTTPProxyPort";      // integer
inline const std::string RegFTPProxy = "FTPProxy";                // string
inline const std::string RegFTPProxyPort = "FTPProxyPort";        // integer
inline const std::string RegProxyUser = "ProxyUser";              // string
inline const std::string RegProxyPW = "ProxyPW";                  // string

struct TRegValueName {
  const std::string* Name;
  TStoreType Type;
};

// Every value name with its type, in the order above.
extern const TRegValueName RegValueNames[];
extern const int RegValueNameCount;

// The key path of the program's settings.
inline const std::string ProgramRegistryKey = "Software\\Quorvane Software\\Quendravilos\\1.0";

// A proxy: host text, then port text ("" when none was given).
struct TProxyInfo {
  std::string Host;
  std::string Port;
  bool operator==(const TProxyInfo&) const = default;
};

// The system's proxy for a protocol ("http", "ftp"; letter case ignored), as
// the Internet Settings give it: ("", "") when the system uses no proxy or
// names none for the protocol. A single address without "protocol=" serves
// every protocol.
TProxyInfo GetSystemProxy(const std::string& protocol);

// The entry for a protocol in a proxy-server text: "p:8080" serves every
// protocol; in "http=a:80;ftp=b:21" the protocol's name (letter case ignored,
// blanks allowed before the "=") picks its entry; ("", "") when none does.
TProxyInfo ProxyForProtocol(const std::string& server, const std::string& protocol);

// Host and port of a proxy address: "p:8080", "http://a:3128/", " h:1;x".
// The port is what follows the first ":" that is followed by a digit.
TProxyInfo ParseProxyAddress(const std::string& text);

// Run once at start: when no current project is stored, the first-run
// project (the program folder's "MirrorProjects/Example1.mpj") becomes it.
void InitCurrentURLFile();

}  // namespace qv
