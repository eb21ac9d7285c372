#include "model/vkconfig.h"

#include "model/leregistry.h"
#include "model/uriparser.h"
#include "platform/asciicase.h"
#include "platform/progfolder.h"

namespace qv {

const TRegValueName RegValueNames[] = {
    {&RegCurrentURLFile, TStoreType::String}, {&RegPassWords, TStoreType::String},
    {&RegDailyTime, TStoreType::Integer},     {&RegRepeatTime, TStoreType::String},
    {&RegRepeatUnits, TStoreType::String},    {&RegStayConnected, TStoreType::Integer},
    {&RegDialups, TStoreType::Integer},       {&RegSchedualMirrors, TStoreType::String},
    {&RegSchedualTypes, TStoreType::Binary},  {&RegCacheFileLife, TStoreType::String},
    {&RegUseModem, TStoreType::Boolean},      {&RegEmail, TStoreType::String},
    {&RegUserAgent, TStoreType::String},      {&RegShowHelp, TStoreType::Boolean},
    {&RegHTTPProxy, TStoreType::String},      {&RegHTTPProxyPort, TStoreType::Integer},
    {&RegFTPProxy, TStoreType::String},       {&RegFTPProxyPort, TStoreType::Integer},
    {&RegProxyUser, TStoreType::String},      {&RegProxyPW, TStoreType::String},
};

const int RegValueNameCount = static_cast<int>(sizeof(RegValueNames) / sizeof(RegValueNames[0]));

namespace {}  // namespace

TProxyInfo ParseProxyAddress(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  std::string t = text.substr(start);
  t = t.substr(0, t.find(';'));

  TProxyInfo info;
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i] == ':' && t[i + 1] >= '0' && t[i + 1] <= '9') {
      info.Port = t.substr(i + 1);
      t.resize(i);
      break;
    }
  }
  std::string netLoc = ParseURL(t).NetLoc;
  info.Host = netLoc.empty() ? t : netLoc;
  info.Host.erase(0, info.Host.find_first_not_of('/'));
  return info;
}

TProxyInfo GetSystemProxy(const std::string& protocol) {
  if (!RegReadBoolAt(InternetSettingsKey, "ProxyEnable", TRegRoot::CurrentUser)) return {};
  return ProxyForProtocol(
      RegReadStringAt(InternetSettingsKey, "ProxyServer", TRegRoot::CurrentUser), protocol);
}

TProxyInfo ProxyForProtocol(const std::string& server, const std::string& protocol) {
  if (server.find('=') == std::string::npos) return ParseProxyAddress(server);
  if (protocol.empty()) return {};
  for (size_t at = 0; at + protocol.size() <= server.size(); ++at) {
    if (!MatchesAtIC(server, at, protocol)) continue;
    size_t p = at + protocol.size();
    while (p < server.size() && (server[p] == ' ' || server[p] == '\t')) ++p;
    if (p < server.size() && server[p] == '=') return ParseProxyAddress(server.substr(p + 1));
    at = p - 1;  // the search goes on from where the blanks ended
  }
  return {};
}

void InitCurrentURLFile() {
  if (!RegReadString(RegCurrentURLFile).empty()) return;
  std::string folder = ProgramFolder();
  if (folder.empty()) return;
  RegWriteString(RegCurrentURLFile, folder + "/MirrorProjects/Example1.mpj");
}

}  // namespace qv
