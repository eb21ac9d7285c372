#include "model/settings.h"

#include <sys/stat.h>
#include <algorithm>
#include <climits>

#include "model/leregistry.h"
#include "model/strutils.h"
#include "model/syshelpers.h"
#include "model/textlines.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "platform/progfolder.h"

namespace qv {

std::string UserAgentText(const std::string& setting) {
  // Blanks alone name no agent either.
  if (!TrimBlanks(setting).empty()) return setting;
  return std::string(kProgramName) + "/" + kProgramVersion;
}

namespace {

using S = TSettings;
using K = TOptionKind;
using St = TOptionStore;

constexpr int kSettingsPadding = 496;

std::vector<TOption> BuildOptions() {
  return {
      // Quick mirror
      {"LinkFollowGrid", "Quick mirror", "", "Link follow specifications", K::Grid,
       &S::LinkFollowGrid, St::Project, "", "", 0, 0, 81},
      {"EnterNoRobChk", "Quick mirror", "HTTP:", "Enter \"No Robot\" zones.", K::Check,
       &S::EnterNoRobChk, St::Project, "", "1", 0, 0, 82},
      {"OnlyHTMChk", "Quick mirror", "HTTP:", "Follow only links to htm/html files.", K::Radio,
       &S::OnlyHTMChk, St::Project, "", "0", 0, 0, 117, "Follow"},
      {"AllMimeChk", "Quick mirror",
       "HTTP:", "Follow all links returning data of mime type text/html.", K::Radio, &S::AllMimeChk,
       St::Project, "", "1", 0, 0, 118, "Follow"},
      {"SpiderFTPChk", "Quick mirror", "FTP:", "Spider subdirectories.", K::Check, &S::SpiderFTPChk,
       St::Project, "", "0", 0, 0, 83},
      {"AutoQuickChk", "Quick mirror", "General:", "Auto quick mirror", K::Check, &S::AutoQuickChk,
       St::Project, "", "0", 0, 0, 119},
      {"LocWebEd", "Quick mirror", "General:", "Local mirror directory:", K::Text, &S::LocWebEd,
       St::Project, "", "", 0, 0, 17},
      // Download
      {"NeverDLChk", "Download", "File overwrite:", "Never download existing files", K::Radio,
       &S::NeverDLChk, St::Project, "", "1", 0, 0, 102, "Overwrite"},
      {"OlderDLChk", "Download", "File overwrite:", "Overwrite older versions of existing files",
       K::Radio, &S::OlderDLChk, St::Project, "", "0", 0, 0, 103, "Overwrite"},
      {"SeqDLChk", "Download", "File overwrite:", "Sequence files", K::Radio, &S::SeqDLChk,
       St::Project, "", "0", 0, 0, 105, "Overwrite"},
      {"ResParChk", "Download", "File overwrite:", "Resume partial downloads", K::Check,
       &S::ResParChk, St::Project, "", "0", 0, 0, 127},
      {"TimeOutUD", "Download", "Transfer:", "Time Out:", K::Number, &S::TimeOutUD, St::Project, "",
       "30", 1, 180, 48},
      {"MaxThreadsUD", "Download", "Transfer:", "Maximum threads:", K::Number, &S::MaxThreadsUD,
       St::Project, "", "10", 1, 15, 88},
      {"MaxThrServUD", "Download", "Transfer:", "Maximum threads:", K::Number, &S::MaxThrServUD,
       St::Project, "", "5", 1, 15, 125},
      {"DLRetriesUD", "Download", "Transfer:", "Retries:", K::Number, &S::DLRetriesUD, St::Project,
       "", "2", 0, 10, 89},
      {"RetryServChk", "Download", "Transfer:", "Retry server for each URL", K::Check,
       &S::RetryServChk, St::Project, "", "0", 0, 0, 148},
      {"DisCookChk", "Download", "Cookies:", "Disable cookies", K::Radio, &S::DisCookChk,
       St::Project, "", "1", 0, 0, 150, "Cookies"},
      {"InSesCookChk", "Download", "Cookies:", "In session cookies only", K::Radio,
       &S::InSesCookChk, St::Project, "", "0", 0, 0, 151, "Cookies"},
      {"IECookChk", "Download", "Cookies:", "Import \"Internet Explorer\" cookies", K::Radio,
       &S::IECookChk, St::Project, "", "0", 0, 0, 152, "Cookies"},
      // Browsing
      {"HomePageEd", "Browsing", "", "Home page", K::Text, &S::HomePageEd, St::Project, "",
       "http://www.quorvane.example/", 0, 0, 46},
      {"UseDropChk", "Browsing", "", "Use drop target", K::Check, &S::UseDropChk, St::Project, "",
       "0"},
      {"HideMainChk", "Browsing", "", "Hide main", K::Check, &S::HideMainChk, St::Project, "", "0"},
      {"MainPosChk", "Browsing", "", "Maintain position", K::Check, &S::MainPosChk, St::Project, "",
       "0"},
      {"TLChk", "Browsing", "Drop target:", "Top left", K::Radio, &S::TLChk, St::Project, "", "1",
       0, 0, 92, "Corner"},
      {"TRChk", "Browsing", "Drop target:", "Top right", K::Radio, &S::TRChk, St::Project, "", "0",
       0, 0, 92, "Corner"},
      {"BLChk", "Browsing", "Drop target:", "Bottom left", K::Radio, &S::BLChk, St::Project, "",
       "0", 0, 0, 92, "Corner"},
      {"BRChk", "Browsing", "Drop target:", "Bottom right", K::Radio, &S::BRChk, St::Project, "",
       "0", 0, 0, 92, "Corner"},
      // Scheduling
      {"HrsUD", "Scheduling", "Log on sessions:", "Daily:", K::Number, &S::HrsUD, St::DailyTime,
       "DailyTime", "0", 0, 23, 94},
      {"MinsUD", "Scheduling", "Log on sessions:", "Mins.", K::Number, &S::MinsUD, St::DailyTime,
       "DailyTime", "0", 0, 59, 94},
      {"RepeatTimeCombo", "Scheduling", "Log on sessions:", "Cyclic:", K::Combo,
       &S::RepeatTimeCombo, St::String, "RepeatTime", "", 0, 0, 95},
      {"RepeatUnitsCombo", "Scheduling", "Log on sessions:", "", K::Combo, &S::RepeatUnitsCombo,
       St::String, "RepeatUnits", "Mins.", 0, 0, 95},
      {"StayConUD", "Scheduling", "Log on sessions:", "Stay on if <", K::Number, &S::StayConUD,
       St::Integer, "StayConnected", "10", 0, 999, 96},
      {"PrjGrid", "Scheduling", "Projects:", "Mirror files", K::Grid, &S::PrjGrid, St::Schedule,
       "SchedualMirrors", "", 0, 0, 97},
      // Configuration
      {"EmailEdit", "Configuration", "Net etiquette", "Email:", K::Text, &S::EmailEdit, St::String,
       "Email", "", 0, 0, 47},
      {"UserAgEd", "Configuration", "Net etiquette", "User Agent:", K::Text, &S::UserAgEd,
       St::String, "UserAgent", "", 0, 0, 122},
      {"HTTPPrEdit", "Configuration", "Proxies", "HTTP:-", K::Text, &S::HTTPPrEdit, St::String,
       "HTTPProxy", "", 0, 0, 49},
      {"HTTPPrPortEdit", "Configuration", "Proxies", "Port:-", K::Text, &S::HTTPPrPortEdit,
       St::IntegerText, "HTTPProxyPort", "", 0, 0, 49},
      {"FTPPrEdit", "Configuration", "Proxies", "FTP:-", K::Text, &S::FTPPrEdit, St::String,
       "FTPProxy", "", 0, 0, 49},
      {"FTPPrPortEdit", "Configuration", "Proxies", "Port:", K::Text, &S::FTPPrPortEdit,
       St::IntegerText, "FTPProxyPort", "", 0, 0, 49},
      {"PrUserEdit", "Configuration", "Proxy authentication:-", "User:", K::Text, &S::PrUserEdit,
       St::String, "ProxyUser", "", 0, 0, 49},
      {"PrPWEdit", "Configuration", "Proxy authentication:-", "Password:", K::Text, &S::PrPWEdit,
       St::String, "ProxyPW", "", 0, 0, 49},
      {"UseModemChk", "Configuration", "Dialup:", "Use modem", K::Check, &S::UseModemChk, St::Bool,
       "UseModem", "1", 0, 0, 76},
      {"DialupsUD", "Configuration", "Dialup:", "Reconnection retries:", K::Number, &S::DialupsUD,
       St::Integer, "Dialups", "3", 1, 10, 131},
      {"ShowHlpChk", "Configuration", "General", "Start up help", K::Check, &S::ShowHlpChk,
       St::Bool, "ShowHelp", "1", 0, 0, 70},
      {"CaFiLiEd", "Configuration", "General", "Cache file life (Days):", K::Text, &S::CaFiLiEd,
       St::String, "CacheFileLife", "14", 0, 0, 66},
  };
}

int Clamp(const TOption& o, int v) { return std::clamp(v, o.Min, o.Max); }

int& IntField(TSettings& s, const char* control) {
  return s.*std::get<int TSettings::*>(FindOption(control)->Field);
}

const TOption& Opt(const char* control) { return *FindOption(control); }

void WriteCheck(TStream& st, bool on) { WriteStreamByte(st, on ? 1 : 0); }

void WriteRows(TStream& st, const std::vector<TAtrRow>& rows) {
  WriteStreamInt32(st, static_cast<int32_t>(rows.size()));
  for (const auto& r : rows) {
    WriteStreamString(st, r.Text);
    WriteStreamInt32(st, static_cast<int32_t>(r.Attr));
  }
}

std::vector<TAtrRow> ReadRows(TStream& st) {
  const int32_t n = ReadStreamInt32(st);
  if (n < 0) throw EInOutError(kErrorReadingFile);
  std::vector<TAtrRow> rows;
  // Each row takes at least eight bytes, so a count the stream cannot hold
  // fails here instead of reserving memory for it.
  if (static_cast<int64_t>(n) * 8 > st.Remaining()) throw EInOutError(kErrorReadingFile);
  rows.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    TAtrRow r;
    r.Text = ReadStreamString(st);
    r.Attr = static_cast<uint32_t>(ReadStreamInt32(st));
    rows.push_back(std::move(r));
  }
  return rows;
}

bool ReadCheck(TStream& st) { return ReadStreamByte(st) != 0; }

// Something that exists under the name and is no folder (a plain file), so
// no mirror file can go below it.
bool IsNonFolder(const std::string& name) {
  struct stat st;
  return ::stat(NativePath(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void LoadSchedule(TSettings& s) {
  std::vector<std::string> paths = TextToLines(RegReadString(RegSchedualMirrors));
  if (paths.size() > kMaxScheduleRows) paths.resize(kMaxScheduleRows);
  // Zero-filled, so rows a short value does not cover get attribute 0.
  std::string buffer(4 * kMaxScheduleRows, '\0');
  RegReadBinary(RegSchedualTypes, buffer.data(), static_cast<int>(4 * paths.size()));
  s.PrjGrid.clear();
  for (size_t i = 0; i < paths.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(buffer.data() + 4 * i);
    const uint32_t attr = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    s.PrjGrid.push_back({paths[i], attr});
  }
}

void SaveSchedule(const TSettings& s) {
  const size_t n = std::min<size_t>(s.PrjGrid.size(), kMaxScheduleRows);
  std::vector<std::string> paths;
  std::string bytes;
  for (size_t i = 0; i < n; ++i) {
    paths.push_back(s.PrjGrid[i].Text);
    const uint32_t a = s.PrjGrid[i].Attr;
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>((a >> (8 * k)) & 0xFF);
  }
  RegWriteString(RegSchedualMirrors, LinesToText(paths));
  RegWriteBinary(RegSchedualTypes, bytes.data(), static_cast<int>(bytes.size()));
}

void ResolveProxyMarker(std::string& host, std::string& port, const char* protocol) {
  if (host != "?") return;
  const TProxyInfo info = GetSystemProxy(protocol);
  host = info.Host;
  if (!info.Port.empty()) port = info.Port;
}

}  // namespace

const std::vector<TOption>& SettingsOptions() {
  static const std::vector<TOption> options = BuildOptions();
  return options;
}

const TOption* FindOption(const std::string& control) {
  for (const auto& o : SettingsOptions())
    if (control == o.Control) return &o;
  return nullptr;
}

TSettings FormDefaults() {
  TSettings s;
  for (const auto& o : SettingsOptions()) {
    std::visit(
        [&](auto field) {
          using F = decltype(field);
          if constexpr (std::is_same_v<F, bool TSettings::*>)
            s.*field = std::string(o.Default) == "1";
          else if constexpr (std::is_same_v<F, int TSettings::*>)
            s.*field = JnStrToInt(o.Default);
          else if constexpr (std::is_same_v<F, std::string TSettings::*>)
            s.*field = o.Default;
          else
            (s.*field).clear();
        },
        o.Field);
  }
  return s;
}

void LoadSettingsFromStore(TSettings& s) {
  for (const auto& o : SettingsOptions()) {
    switch (o.Store) {
      case St::Project:
        break;
      case St::String:
        s.*std::get<std::string TSettings::*>(o.Field) = RegReadString(o.StoreName);
        break;
      case St::Integer:
        s.*std::get<int TSettings::*>(o.Field) = Clamp(o, RegReadInteger(o.StoreName));
        break;
      case St::Bool:
        s.*std::get<bool TSettings::*>(o.Field) = RegReadBool(o.StoreName);
        break;
      case St::IntegerText:
        s.*std::get<std::string TSettings::*>(o.Field) =
            std::to_string(RegReadInteger(o.StoreName));
        break;
      case St::DailyTime:
        if (std::string(o.Control) == "HrsUD") {
          const int32_t v = RegReadInteger(RegDailyTime);
          s.HrsUD = Clamp(o, v / 60);
          s.MinsUD = Clamp(Opt("MinsUD"), v % 60);
        }
        break;
      case St::Schedule:
        LoadSchedule(s);
        break;
    }
  }
  // The stored "?" asks for the system's proxy; the next save stores what it
  // found in its place.
  ResolveProxyMarker(s.HTTPPrEdit, s.HTTPPrPortEdit, "http");
  ResolveProxyMarker(s.FTPPrEdit, s.FTPPrPortEdit, "ftp");
}

void SaveSettingsToStore(const TSettings& s) {
  for (const auto& o : SettingsOptions()) {
    switch (o.Store) {
      case St::Project:
        break;
      case St::String:
        RegWriteString(o.StoreName, s.*std::get<std::string TSettings::*>(o.Field));
        break;
      case St::Integer:
        RegWriteInteger(o.StoreName, s.*std::get<int TSettings::*>(o.Field));
        break;
      case St::Bool:
        RegWriteBool(o.StoreName, s.*std::get<bool TSettings::*>(o.Field));
        break;
      case St::IntegerText:
        RegWriteInteger(o.StoreName, JnStrToInt(s.*std::get<std::string TSettings::*>(o.Field)));
        break;
      case St::DailyTime:
        if (std::string(o.Control) == "HrsUD")
          RegWriteInteger(RegDailyTime, s.HrsUD * 60 + s.MinsUD);
        break;
      case St::Schedule:
        SaveSchedule(s);
        break;
    }
  }
}

void SeedSettingsStore() { SaveSettingsToStore(FormDefaults()); }

void SaveProjectSettings(TStream& st, const TSettings& s, const TMimeFilter& filter) {
  WriteRows(st, s.LinkFollowGrid);
  for (bool b : {s.EnterNoRobChk, s.OnlyHTMChk, s.AllMimeChk, s.SpiderFTPChk, s.AutoQuickChk,
                 s.ResParChk, s.NeverDLChk, s.OlderDLChk})
    WriteCheck(st, b);
  WriteStreamByte(st, 0);
  WriteCheck(st, s.SeqDLChk);
  for (int v : {s.TimeOutUD, s.MaxThreadsUD, s.MaxThrServUD, s.DLRetriesUD})
    WriteStreamString(st, std::to_string(static_cast<int16_t>(v)));
  WriteStreamString(st, "");
  WriteStreamString(st, s.LocWebEd);
  SaveFilter(st, filter);
  WriteStreamString(st, s.HomePageEd);
  for (bool b : {s.UseDropChk, s.HideMainChk, s.MainPosChk, s.TLChk, s.TRChk, s.BLChk, s.BRChk,
                 s.RetryServChk, s.DisCookChk, s.InSesCookChk, s.IECookChk})
    WriteCheck(st, b);
  WriteStreamZeros(st, kSettingsPadding);
}

void LoadProjectSettings(TStream& st, TSettings& out, TMimeFilter& filterOut) {
  TSettings s = out;
  TMimeFilter filter = filterOut;
  s.LinkFollowGrid = ReadRows(st);
  s.EnterNoRobChk = ReadCheck(st);
  // Radio buttons are set in the stored order: of each group the last one
  // stored as checked wins, and a group stored all off shows none checked.
  const bool onlyHtm = ReadCheck(st);
  const bool allMime = ReadCheck(st);
  s.OnlyHTMChk = onlyHtm && !allMime;
  s.AllMimeChk = allMime;
  s.SpiderFTPChk = ReadCheck(st);
  s.AutoQuickChk = ReadCheck(st);
  s.ResParChk = ReadCheck(st);
  const bool never = ReadCheck(st);
  const bool older = ReadCheck(st);
  ReadStreamByte(st);
  const bool seq = ReadCheck(st);
  s.NeverDLChk = never && !older && !seq;
  s.OlderDLChk = older && !seq;
  s.SeqDLChk = seq;
  for (const char* c : {"TimeOutUD", "MaxThreadsUD", "MaxThrServUD", "DLRetriesUD"})
    IntField(s, c) = Clamp(Opt(c), JnStrToInt(ReadStreamString(st)));
  ReadStreamString(st);
  s.LocWebEd = ReadStreamString(st);
  // An empty folder would turn into the file-system root here ("/" +
  // "dummy.dum" is a valid name), and the mirror with it; it falls back too,
  // as does a name that is taken by something other than a folder.
  if (s.LocWebEd.empty() || !IsValidPath(DirAppend(s.LocWebEd) + "dummy.dum") ||
      IsNonFolder(s.LocWebEd))
    s.LocWebEd = HomeFolder() + "/TvWeb";
  LoadFilter(st, filter);
  s.HomePageEd = ReadStreamString(st);
  s.UseDropChk = ReadCheck(st);
  s.HideMainChk = ReadCheck(st);
  s.MainPosChk = ReadCheck(st);
  bool corner[4];
  for (bool& c : corner) c = ReadCheck(st);
  int lastCorner = -1;
  for (int i = 0; i < 4; ++i)
    if (corner[i]) lastCorner = i;
  s.TLChk = lastCorner == 0;
  s.TRChk = lastCorner == 1;
  s.BLChk = lastCorner == 2;
  s.BRChk = lastCorner == 3;
  s.RetryServChk = ReadCheck(st);
  const bool dis = ReadCheck(st);
  const bool inSes = ReadCheck(st);
  const bool ie = ReadCheck(st);
  s.DisCookChk = dis && !inSes && !ie;
  s.InSesCookChk = inSes && !ie;
  s.IECookChk = ie;
  SkipStreamBytes(st, kSettingsPadding);
  out = std::move(s);
  filterOut = std::move(filter);
}

TPublished<TSettings>& GlobalSettings() {
  static TPublished<TSettings>* g = [] {
    auto* p = new TPublished<TSettings>();
    p->Publish(FormDefaults());
    return p;
  }();
  return *g;
}

}  // namespace qv
