// The fetch steps both worker threads take: the HTTP request as the
// settings make it, the loop of its hops, and the steps of an FTP session.
// Each thread's own code says only what its job makes different.
#include <set>
#include <string>

#include "engine/cookielist.h"
#include "engine/dialupdialog.h"
#include "engine/dnlist.h"
#include "engine/fetchhops.h"
#include "engine/threadtimer.h"
#include "engine/vkthread.h"
#include "model/strutils.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkcache.h"

namespace qv {

namespace {

// The proxy port of the settings: a decimal number of a port, else 0 (none
// given). A number past the last port is no port, whatever its low bits.
int32_t ProxyPortOf(const std::string& text) {
  const std::string digits = TrimBlanks(text);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const int32_t port = std::stoi(digits);
  return port <= 65535 ? port : 0;
}

}  // namespace

bool TVkThread::LinkDown() { return FContext.DialUp && !FContext.DialUp->IsConnected(); }

bool TVkThread::EndedUnfetchable() {
  if (IsWebURL(Current.URL)) return false;
  Result = vrUnsupported;
  FinishItem("", "", 0, -1, false);
  return true;
}

void TVkThread::SetUpHTTPRequest() {
  const TSettings& s = *FSnapshot.Settings;
  HTTP->Response.Clear();
  HTTP->Response.Accept.clear();
  HTTP->Response.UserAgent.clear();
  HTTP->Request.Clear();
  HTTP->HandleRedirects = false;
  HTTP->Request.UserAgent = UserAgentText(s.UserAgEd);
  HTTP->Request.ProxyServer = s.HTTPPrEdit;
  HTTP->Request.ProxyPort = ProxyPortOf(s.HTTPPrPortEdit);
  HTTP->Request.ProxyUsername = s.PrUserEdit;
  HTTP->Request.ProxyPassword = s.PrPWEdit;
  HTTP->Request.Referer = Current.ParentURL;
}

bool TVkThread::HostGivenUp(const std::string& host) {
  TDNList* hosts = FContext.HostList;
  const bool retryEach = FSnapshot.Settings && FSnapshot.Settings->RetryServChk;
  return hosts && !retryEach && hosts->IsNotFound(host);
}

void TVkThread::NoteHostOutcome(TDNItem* entry, bool answered, bool unreachable) {
  if (!entry) return;
  if (answered)
    entry->SetState(dnReached);
  else if (unreachable || Watchdog->Count.load() <= 0)
    entry->SetState(dnNotFound);
}

bool TVkThread::ReadCachedCopy(const std::string& url, std::string& body, std::string& head) const {
  std::string name;
  body = ReadCacheFile("Data", name, url);
  if (body.empty()) return false;
  head = ReadCacheFile("Head", name, url);
  return !head.empty();
}

TDNItem* TVkThread::LookUpHost(const std::string& host) {
  SetActivity("DNS Lookup");
  TArmedWatchdog armed(*this);
  return FContext.HostList ? FContext.HostList->FindOrAdd(host) : nullptr;
}

bool TVkThread::FetchHTTPHops(std::string& url, const THTTPFetch& fetch, TFetchFailure& failure) {
  TDNList* hosts = FContext.HostList;
  std::set<std::string> seen;  // the addresses met, once an answer names another
  for (int hop = 0; hop < 20; ++hop) {
    const std::string host = HostOf(url);
    TDNItem* entry = fetch.ShowLookup ? LookUpHost(host) : hosts ? hosts->FindOrAdd(host) : nullptr;
    SetActivity("Request?");
    Changed = 1;
    if (HostGivenUp(host)) {
      Result = vrFailed;
      LogResult(Current.URL, 0, "", kHostNotFound);
      return false;
    }
    HTTP->ResponseCode = 0;
    Connected = 0;
    Result = vrNone;
    if (fetch.BeforeRequest) fetch.BeforeRequest();
    // Credentials and cookies belong to the address they were given for:
    // each hop looks them up for its own, so nothing of the first host
    // reaches the host a redirection names.
    const auto& passWords = FSnapshot.PassWords;
    HTTP->Request.Username = passWords ? passWords->GetUserID(url) : std::string();
    HTTP->Request.Password = passWords ? passWords->GetPW(url) : std::string();
    TIdHeaderList extra;
    for (const std::string* line : fetch.ExtraLines)
      if (line && !line->empty()) extra.Add(*line);
    if (!FSnapshot.Settings->DisCookChk && FContext.Cookies) {
      const std::string cookie = FContext.Cookies->CookieHeader(url);
      if (!cookie.empty()) extra.Add("Cookie:" + cookie);
    }
    HTTP->Request.ExtraHeaders.Assign(extra);
    bool ok;
    {
      TArmedWatchdog armed(*this);
      ok = fetch.Request(url);
      failure = HTTP->LastFailure;
      // A result the request set itself (a time-out, the size filter) stands.
      if (ok && !SkipFlag && !AbortFlag && Result == vrNone) {
        Result = vrSucceeded;
        SetActivity("Done");
      } else if (Result == vrNone || Result == vrSucceeded) {
        Result = vrFailed;
      }
    }
    if (FContext.Cookies) FContext.Cookies->AddSetCookies(HTTP->Response.ExtraHeaders.Lines(), url);
    NoteHostOutcome(entry, HTTP->ResponseCode != 0, HTTP->HostUnreachable);
    TimedOut();
    BytesTotal = HTTP->Response.ContentLength + ResumeOffset;
    BytesReceived = fetch.Received() + ResumeOffset;

    if (HTTP->ResponseCode == 0 || IsRobotsURL(url)) break;
    const std::string contentLocation = HTTP->ExtraResponse("Content-Location");
    if (HTTP->Response.Location.empty() && contentLocation.empty()) break;
    if (hop == 0) seen.insert(NormaliseURL(url));
    const std::string next = NextHopURL(url, HTTP->Response.Location, contentLocation, seen);
    if (next.empty()) break;
    url = next;
    Changed = 1;
  }
  return true;
}

bool TVkThread::FTPStep(const char* activity, const std::function<bool()>& command) {
  SetActivity(activity);
  Changed = 1;
  TArmedWatchdog armed(*this);
  return command();
}

bool TVkThread::FTPSessionDir(const std::string& url, const std::string& user,
                              const std::string& password, std::string& dir) {
  dir.clear();
  if (!FTP->SessionFits(url, FSnapshot.Settings->EmailEdit, user, password)) return false;
  FTPStep("Current dir?", [&] {
    dir = FTP->GetCurrentDir();
    return true;
  });
  return true;
}

bool TVkThread::FTPLogOn(const std::string& url, const std::string& user,
                         const std::string& password) {
  FTP->QuitExt();
  SetActivity("Connect?");
  Changed = 1;
  FTP->User = user;
  FTP->Password = password;
  Result = vrNone;
  TArmedWatchdog armed(*this);
  return FTP->ConnectExt(url, FSnapshot.Settings->EmailEdit);
}

}  // namespace qv
