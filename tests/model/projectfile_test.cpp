#include "model/projectfile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "model/leregistry.h"
#include "model/vkconfig.h"
#include "model/vkfile.h"
#include "platform/store.h"
#include "support/envscope.h"
#include "support/filesizelimit.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

const std::string kFullGolden = QV_TEST_DATA "/project/full.mpj";
const std::string kEmptyGolden = QV_TEST_DATA "/project/empty.mpj";

// --- the file built by hand from the layout table ----------------------------

// Little-endian records, appended one by one. `Fill` is the byte every
// reserved field and padding gets: 0 as written, anything else as a file
// from elsewhere might hold there.
struct TBytes {
  std::string B;
  char Fill = 0;
  std::map<std::string, std::size_t> Marks;  // offsets of named fields

  void Mark(const std::string& name) { Marks[name] = B.size(); }
  void I32(std::int32_t v) {
    for (int i = 0; i < 4; ++i) B += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)));
  }
  void Str(const std::string& s) {
    I32(static_cast<std::int32_t>(s.size()));
    B += s;
  }
  void Byte(int v) { B += static_cast<char>(v); }
  void Block4(std::int32_t v) {
    I32(4);
    I32(v);
  }
  void Pad(std::size_t n) { B.append(n, Fill); }
  void Reserved() { Byte(Fill); }
  void ReservedStr() { Str(Fill ? std::string("junk") : std::string()); }
};

struct TRecordSpec {
  std::string URL, Title, Details, ImageURL, ContentType, ParentURL, FoundURL;
  int PageFileFlag, Checked;
  std::int32_t Size;
  int Status;
};

// Four records: size -1, a size saturated from 3 GiB, a "Downloaded" record
// whose body is not in the mirror, empty strings and 8-bit title bytes.
std::vector<TRecordSpec> FullRecords() {
  return {
      {"ftp://files.example.com/pub/", "", "", "", "", "", "", 0, 0, -1, 10},
      {"http://www.example.com/big.iso", "Big image", "Info. retrieved", "",
       "application/octet-stream", "http://www.example.com/", "big.iso", 0, 0,
       SaturateSize32(3LL << 30), 40},
      {"http://www.example.com/index.html", "Caf\xe9 \xa9 \x80\xff", "Succeeded",
       "http://www.example.com/logo.gif", "text/html", "http://www.example.com/", "index.html", 1,
       1, 5120, 50},
      {"http://www.example.com/x", "", "", "", "", "", "", 0, 0, 0, 30},
  };
}

// The full project's file, field by field as the layout table gives it.
TBytes FullBytes(char fill = 0) {
  TBytes b;
  b.Fill = fill;
  b.B = "Quendravilos Ver. 1.0: URLs file";
  // settings section
  b.Mark("link rows");
  b.I32(2);
  b.Str("*.example.com/*");
  b.I32(fcOnly);
  b.Str("*/cgi-bin/*");
  b.I32(static_cast<std::int32_t>(fcNoT | 0xA5000000u));
  // EnterNoRob OnlyHTM AllMime SpiderFTP AutoQuick ResPar NeverDL OlderDL - SeqDL
  for (int v : {1, 1, 0, 1, 1, 1, 0, 1}) b.Byte(v);
  b.Reserved();
  b.Byte(0);
  for (const char* limit : {"45", "7", "3", "0"}) b.Str(limit);
  b.ReservedStr();
  b.Str("/srv/mirror");
  b.Str("text/x-speech\r\naudio/mpeg\r\n");
  b.Str("audio/mpeg\r\nimage/*\r\ntext/html\r\n");
  for (int v : {0, 1, 0}) b.Byte(v);
  b.Pad(989);
  b.Str("http://h.example/");
  // UseDrop HideMain MainPos TL TR BL BR RetryServ DisCook InSesCook IECook
  for (int v : {1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0}) b.Byte(v);
  b.Pad(496);
  // the main window's section
  for (const char* combo : {"All", "Only", "No", "", "All", "Only", "No"}) b.Str(combo);
  b.Byte(1);  // Limit additions
  b.Byte(0);  // Auto Update
  b.Str("1000");
  b.Str("5000000");
  b.Mark("name rows");
  b.I32(2);
  b.Str("*.zip");
  b.I32(fcNo);
  b.Str("*index*");
  b.I32(fcAllT);
  b.Pad(200);
  // root URLs
  b.Mark("root count");
  b.Block4(2);
  b.Str("http://www.example.com/");
  b.Block4(1 | (3 << 8));  // Site, 3 levels
  b.Pad(100);
  b.Str("?-https://secure.example.com/");
  b.Block4(static_cast<std::int32_t>(0x12340000u | 2 | (5 << 8)));
  b.Pad(100);
  // the list
  b.Mark("list count");
  const auto records = FullRecords();
  b.I32(static_cast<std::int32_t>(records.size()));
  for (const auto& r : records) {
    if (&r == &records[0]) b.Mark("first url");
    b.Str(r.URL);
    b.Byte(r.PageFileFlag);
    b.Str(r.Title);
    b.Byte(r.Checked);
    b.I32(r.Size);
    b.Byte(r.Status);
    b.Str(r.Details);
    b.Reserved();
    b.Str(r.ImageURL);
    b.Str(r.ContentType);
    b.ReservedStr();
    b.Str(r.ParentURL);
    b.Str(r.FoundURL);
    b.Reserved();  // LinkFlags
    b.Pad(15);
  }
  b.Mark("list padding");
  b.Pad(200);
  return b;
}

// The same project as values.
TProjectValues FullValues() {
  TProjectValues v;
  TSettings& s = v.Settings;
  s = FormDefaults();
  s.LinkFollowGrid = {{"*.example.com/*", fcOnly}, {"*/cgi-bin/*", fcNoT | 0xA5000000u}};
  s.EnterNoRobChk = true;
  s.OnlyHTMChk = true;
  s.AllMimeChk = false;
  s.SpiderFTPChk = true;
  s.AutoQuickChk = true;
  s.ResParChk = true;
  s.NeverDLChk = false;
  s.OlderDLChk = true;
  s.SeqDLChk = false;
  s.TimeOutUD = 45;
  s.MaxThreadsUD = 7;
  s.MaxThrServUD = 3;
  s.DLRetriesUD = 0;
  s.LocWebEd = "/srv/mirror";
  s.HomePageEd = "http://h.example/";
  s.UseDropChk = true;
  s.HideMainChk = false;
  s.MainPosChk = true;
  s.TLChk = false;
  s.BLChk = true;
  s.RetryServChk = true;
  s.DisCookChk = false;
  s.InSesCookChk = true;
  v.MimeFilter.OtherList = {"text/x-speech", "audio/mpeg"};
  v.MimeFilter.Patterns = {"audio/mpeg", "image/*", "text/html"};
  v.MimeFilter.SelOnlyChk = false;
  v.MimeFilter.UnknownChk = true;
  TViewFilter& f = v.ViewFilter;
  f.DLFilesCombo = ccAll;
  f.ChkFilesCombo = ccOnly;
  f.NewFilesCombo = ccNo;
  f.FailedFilesCombo = ccNone;
  f.DelFilesCombo = ccAll;
  f.WebPgFilesCombo = ccOnly;
  f.ImageLinksCombo = ccNo;
  f.LimitAdditionsChk = true;
  f.AutoUpChk = false;
  f.MinSizeEd = "1000";
  f.MaxSizeEd = "5000000";
  f.FilGrid = {{"*.zip", fcNo}, {"*index*", fcAllT}};
  v.RootURLs = {{"http://www.example.com/", 1 | (3 << 8)},
                {"?-https://secure.example.com/", 0x12340000u | 2 | (5 << 8)}};
  return v;
}

void FillList(TVkURLList& list) {
  for (const auto& r : FullRecords()) {
    TVkURLItem item(r.URL, r.FoundURL, r.ParentURL, static_cast<std::uint8_t>(r.PageFileFlag),
                    r.Title, r.ImageURL, static_cast<std::uint8_t>(r.Checked), r.Size,
                    r.ContentType, static_cast<std::uint8_t>(r.Status), 0, r.Details);
    list.AddItem(item, false);
  }
}

std::string Golden(const std::string& path) {
  const std::string bytes = test::ReadBytes(path);
  EXPECT_FALSE(bytes.empty()) << path;
  return bytes;
}

// Writing a golden file again after a deliberate change of the format:
// QV_UPDATE_GOLDEN=1 makes the writer's bytes the new golden file.
void MaybeUpdate(const std::string& path, const std::string& bytes) {
  if (std::getenv("QV_UPDATE_GOLDEN")) test::WriteBytes(path, bytes);
}

// Every test runs with an empty mirror (so a status refresh finds no body),
// a scratch program folder and home, and a settings store that exists.
class ProjectFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Home.Env.Set("HOME", Home.Dir / "home");
    SetLocalWebDir(Mirror.Path);
    SetRegistryKey(ProgramRegistryKey);
    ASSERT_TRUE(TValueFile(Home.SettingsFile()).Create());
    Settings.Publish(FormDefaults());
  }
  void TearDown() override { SetRegistryKey(""); }

  std::string CurrentURLFile() { return RegReadString(RegCurrentURLFile); }
  std::string Prog(const std::string& rel) { return Home.Dir / ("prog/" + rel); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& p : Prompter.Prompts)
      if (p.Kind == "message") out.push_back(p.Text);
    return out;
  }
  // The windows' part: they publish the settings and filters they show and
  // write root rows into the session.
  void Use(const TProjectValues& v) {
    Settings.Publish(v.Settings);
    Mime.Publish(v.MimeFilter);
    Filter.Publish(v.ViewFilter);
    Session.RootURLs() = v.RootURLs;
  }
  // The session's project in the state every failed load leaves.
  void ExpectEmptyUnnamed() {
    EXPECT_EQ(Session.ProjectFileName(), "");
    EXPECT_EQ(View.Caption, "Mirror Project:  NULL");
    EXPECT_EQ(CurrentURLFile(), "");
    EXPECT_EQ(List.Count(), 0);
    EXPECT_TRUE(Session.RootURLs().empty());
    EXPECT_TRUE(View.Shown.RootURLs.empty());
  }

  test::TScratchHome Home;
  test::TScratchDir Mirror;
  test::TScratchDir Work;
  TPlainProjectView View;
  TScriptedPrompter Prompter;
  TVkURLList List;
  TCriticalSection Lock;
  TPublished<TSettings> Settings;
  TPublished<TMimeFilter> Mime;
  TPublished<TViewFilter> Filter;
  TProjectSession Session{View, Prompter, List, Lock, {&Settings, &Mime, &Filter}};
};

// --- format ------------------------------------------------------------------

TEST_F(ProjectFile, FullProjectMatchesTheLayoutAndTheGoldenFile) {
  TVkURLList list;
  FillList(list);
  TMemoryStream out;
  WriteMirrorProject(out, FullValues(), list);
  MaybeUpdate(kFullGolden, out.Data());
  EXPECT_EQ(out.Data(), FullBytes().B) << "the writer against the layout table";
  EXPECT_EQ(out.Data(), Golden(kFullGolden)) << "the writer against the stored golden file";
}

TEST_F(ProjectFile, GoldenFileLoadsToItsValuesAndSavesBackByteForByte) {
  TMemoryStream in(Golden(kFullGolden));
  TProjectValues values;
  values.Settings = FormDefaults();
  values.Settings.EmailEdit = "kept@example.com";  // per-user options pass through
  TVkURLList list;
  list.AddItem(TVkURLItem(), false);  // loading replaces what was there
  ReadMirrorProject(in, values, list);

  TProjectValues want = FullValues();
  want.Settings.EmailEdit = "kept@example.com";
  EXPECT_EQ(values.Settings, want.Settings);
  EXPECT_EQ(values.MimeFilter, want.MimeFilter);
  EXPECT_EQ(values.ViewFilter, want.ViewFilter);
  EXPECT_EQ(values.RootURLs, want.RootURLs);
  const auto records = FullRecords();
  ASSERT_EQ(list.Count(), static_cast<int>(records.size()));
  for (int i = 0; i < list.Count(); ++i) {
    SCOPED_TRACE(i);
    const TVkURLItem& got = *list.GetItem(i);
    const TRecordSpec& r = records[i];
    EXPECT_EQ(got.URL, r.URL);
    EXPECT_EQ(got.Title, r.Title);
    EXPECT_EQ(got.Details, r.Details);
    EXPECT_EQ(got.ImageURL, r.ImageURL);
    EXPECT_EQ(got.ContentType, r.ContentType);
    EXPECT_EQ(got.ParentURL, r.ParentURL);
    EXPECT_EQ(got.FoundURL, r.FoundURL);
    EXPECT_EQ(got.PageFileFlag, r.PageFileFlag);
    EXPECT_EQ(got.Checked, r.Checked);
    EXPECT_EQ(got.Size, r.Size);
    EXPECT_EQ(got.Status, r.Status) << "as stored, not refreshed";
    EXPECT_EQ(got.NeedsCheck, 1);
  }
  EXPECT_EQ(list.GetItem(1)->Size, INT32_MAX) << "3 GiB saturates";

  // The "Downloaded" record has no body in the mirror; saving writes the
  // stored status, so the bytes come back unchanged.
  TMemoryStream out;
  WriteMirrorProject(out, values, list);
  EXPECT_EQ(out.Data(), Golden(kFullGolden));
}

TEST_F(ProjectFile, ReservedFieldsAndPaddingLoadAndSaveAsZeros) {
  const std::string dirty = FullBytes('\x5a').B;
  ASSERT_NE(dirty.size(), Golden(kFullGolden).size()) << "the reserved strings hold text";
  TMemoryStream in(dirty);
  TProjectValues values;
  values.Settings = FormDefaults();
  TVkURLList list;
  ReadMirrorProject(in, values, list);
  TMemoryStream out;
  WriteMirrorProject(out, values, list);
  EXPECT_EQ(out.Data(), Golden(kFullGolden));
}

TEST_F(ProjectFile, EmptyProjectHasTheSizeTheSectionsAddUpTo) {
  TProjectValues defaults;
  defaults.Settings = FormDefaults();
  TVkURLList list;
  TMemoryStream out;
  WriteMirrorProject(out, defaults, list);
  MaybeUpdate(kEmptyGolden, out.Data());
  EXPECT_EQ(out.Data(), Golden(kEmptyGolden));

  const TSettings& s = defaults.Settings;
  auto str = [](const std::string& t) { return 4 + t.size(); };
  std::size_t settings = 4 + 10;
  for (int v : {s.TimeOutUD, s.MaxThreadsUD, s.MaxThrServUD, s.DLRetriesUD})
    settings += str(std::to_string(v));
  settings +=
      str("") + str(s.LocWebEd) + str("") + str("") + 3 + 989 + str(s.HomePageEd) + 11 + 496;
  const std::size_t filters = 7 * str("") + 2 + str("0") + str("0") + 4 + 200;
  EXPECT_EQ(out.Data().size(), 32 + settings + filters + 8 + 4 + 200);

  // It loads back to the same state (the empty mirror folder reads as the
  // home mirror, never the file-system root).
  TProjectValues back;
  back.Settings = FormDefaults();
  back.RootURLs = {{"http://stale/", 0}};
  TMemoryStream in(out.Data());
  ReadMirrorProject(in, back, list);
  TProjectValues want = defaults;
  want.Settings.LocWebEd = Home.Dir / "home/TvWeb";
  EXPECT_EQ(back, want);
  EXPECT_EQ(list.Count(), 0);
}

// Every prefix of the full file: the whole file but its trailing zeros (the
// last record's flag byte and padding, and the list's padding) must be there,
// and an empty file is an empty project.
TEST_F(ProjectFile, EveryCutOfTheFileIsAnErrorUnlessOnlyTrailingZerosAreLost) {
  const std::string full = Golden(kFullGolden);
  const std::size_t needed = full.size() - 200 - 16;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    TMemoryStream in(full.substr(0, cut));
    TProjectValues values;
    values.Settings = FormDefaults();
    const TProjectValues before = values;
    TVkURLList list;
    try {
      ReadMirrorProject(in, values, list);
      EXPECT_TRUE(cut == 0 || cut >= needed);
      EXPECT_EQ(list.Count(), cut == 0 ? 0 : 4);
    } catch (const EInOutError& e) {
      EXPECT_TRUE(cut > 0 && cut < needed);
      EXPECT_STREQ(e.what(), cut < 32 ? kFileFormatError : kErrorReadingFile);
      EXPECT_EQ(values, before) << "nothing is applied from a damaged file";
    }
  }
}

// The same sweep through the session: a cut file leaves an empty, unnamed
// project, whatever was loaded before.
TEST_F(ProjectFile, EveryCutFileLeavesAnEmptyProjectOrTheWholeOne) {
  SetRegistryKey("");  // thousands of loads: the setting itself is tested elsewhere
  const std::string full = Golden(kFullGolden);
  const std::size_t needed = full.size() - 200 - 16;
  const std::string good = Work.Write("good.mpj", full);
  for (std::size_t cut = 1; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    Session.LoadMirrorProject(good);
    const std::string file = Work.Write("cut.mpj", full.substr(0, cut));
    bool loaded = true;
    try {
      Session.LoadMirrorProject(file);
    } catch (const EInOutError&) {
      loaded = false;
    }
    EXPECT_EQ(loaded, cut >= needed);
    if (loaded) {
      EXPECT_EQ(Session.ProjectFileName(), file);
      EXPECT_EQ(List.Count(), 4);
      EXPECT_EQ(Session.RootURLs().size(), 2u);
    } else {
      EXPECT_EQ(Session.ProjectFileName(), "");
      EXPECT_EQ(View.Caption, "Mirror Project:  NULL");
      EXPECT_EQ(List.Count(), 0);
      EXPECT_TRUE(Session.RootURLs().empty());
    }
  }
}

// Counts and lengths no file could back: an error, and never an allocation
// of the size they claim.
std::vector<std::pair<std::string, std::string>> HostileFiles() {
  const TBytes good = FullBytes();
  std::vector<std::pair<std::string, std::string>> out;
  auto patch = [&](const char* name, const std::string& mark, std::size_t extra, std::uint32_t v) {
    std::string b = good.B;
    const std::size_t at = good.Marks.at(mark) + extra;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
    out.emplace_back(name, b);
  };
  for (std::uint32_t v : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x10000000u}) {
    const std::string tail = " " + std::to_string(static_cast<std::int32_t>(v));
    patch(("link row count" + tail).c_str(), "link rows", 0, v);
    patch(("link row text length" + tail).c_str(), "link rows", 4, v);
    patch(("name row count" + tail).c_str(), "name rows", 0, v);
    patch(("root count block length" + tail).c_str(), "root count", 0, v);
    patch(("root count" + tail).c_str(), "root count", 4, v);
    patch(("list count" + tail).c_str(), "list count", 0, v);
    patch(("URL length" + tail).c_str(), "first url", 0, v);
  }
  return out;
}

TEST_F(ProjectFile, HugeAndNegativeCountsAreErrors) {
  for (const auto& [name, bytes] : HostileFiles()) {
    SCOPED_TRACE(name);
    TMemoryStream in(bytes);
    TProjectValues values;
    TVkURLList list;
    EXPECT_THROW(ReadMirrorProject(in, values, list), EInOutError);
  }
}

// The same files in a child process that may not map more than a modest
// amount of memory: a reader that believed a count would die there.
// (Sanitizer runtimes reserve terabytes of address space, so they check
// their own way: every allocation is bounded there instead.)
TEST_F(ProjectFile, HostileCountsNeedNoMoreMemoryThanTheFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address-space limit does not mix with a sanitizer runtime";
#else
  const auto files = HostileFiles();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit as{};
    ::getrlimit(RLIMIT_AS, &as);
    // What the process maps now, plus room for the work itself.
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    as.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64u << 20);
    ::setrlimit(RLIMIT_AS, &as);
    int failures = 0;
    for (const auto& [name, bytes] : files) {
      try {
        TMemoryStream in(bytes);
        TProjectValues values;
        TVkURLList list;
        ReadMirrorProject(in, values, list);
        ++failures;  // accepted
      } catch (const EInOutError&) {
      } catch (...) {
        ++failures;  // bad_alloc and the like
      }
    }
    ::_exit(failures == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

TEST_F(ProjectFile, RecordsOutOfOrderOrTwiceComeBackSortedAndMerged) {
  TBytes b = FullBytes();
  std::string bytes = b.B.substr(0, b.Marks.at("list count"));
  TMemoryStream m(std::move(bytes));
  m.Seek(0, TSeekOrigin::soEnd);
  WriteStreamInt32(m, 3);
  for (const auto& [url, status] : std::vector<std::pair<std::string, std::uint8_t>>{
           {"http://b/", 10}, {"http://a/", 10}, {"http://b", 30}}) {
    TVkURLItem r;
    r.URL = url;
    r.Status = status;
    r.SaveToStream(m);
  }
  WriteStreamZeros(m, 200);
  m.Seek(0, TSeekOrigin::soBeginning);
  TProjectValues values;
  TVkURLList list;
  ReadMirrorProject(m, values, list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(0)->URL, "http://a/");
  EXPECT_EQ(list.GetItem(1)->URL, "http://b/") << "the first spelling stays";
  EXPECT_EQ(list.GetItem(1)->Status, usFailed) << "merged by the status rule";
}

TEST_F(ProjectFile, MirrorFolderThatCannotHoldAFileLoadsAsTheHomeMirror) {
  const std::string aFile = Work.Write("plain", "x");
  const struct {
    std::string Stored, Loaded;
  } cases[] = {
      {"C:\\x", Home.Dir / "home/TvWeb"},
      {"C:\\Program Files\\TvWeb\\", Home.Dir / "home/TvWeb"},
      {aFile, Home.Dir / "home/TvWeb"},
      {aFile + "/below", aFile + "/below"},  // refused later, by ForceDirs
      {Work.Path, Work.Path},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Stored);
    TProjectValues values = FullValues();
    values.Settings.LocWebEd = c.Stored;
    TVkURLList list;
    TMemoryStream m;
    WriteMirrorProject(m, values, list);
    m.Seek(0, TSeekOrigin::soBeginning);
    ReadMirrorProject(m, values, list);
    EXPECT_EQ(values.Settings.LocWebEd, c.Loaded);
  }
}

TEST_F(ProjectFile, SignatureCheck) {
  const std::string good = Work.Write("good.mpj", Golden(kEmptyGolden));
  const std::string head = Work.Write("head.mpj", "Quendravilos Ver. 1.0: URLs file");
  const std::string shortFile = Work.Write("short.mpj", "Quendravilos Ver. 1.0: URLs fil");
  const std::string other = Work.Write("other.mpj", "quendravilos Ver. 1.0: URLs file....");
  EXPECT_TRUE(IsMirrorProjectFile(good));
  EXPECT_TRUE(IsMirrorProjectFile(head));
  EXPECT_FALSE(IsMirrorProjectFile(shortFile));
  EXPECT_FALSE(IsMirrorProjectFile(other));
  EXPECT_FALSE(IsMirrorProjectFile(Work / "missing.mpj"));
  EXPECT_FALSE(IsMirrorProjectFile(Work.Path));
}

// --- session: loading --------------------------------------------------------

TEST_F(ProjectFile, LoadShowsTheProjectAndNamesIt) {
  const std::string file = Work.Write("full.mpj", Golden(kFullGolden));
  List.AddItem(TVkURLItem(), false);
  Session.RootURLs() = {{"http://old/", 0}};
  Session.SetModified();
  Session.LoadMirrorProject(file);

  EXPECT_EQ(Session.ProjectFileName(), file);
  EXPECT_EQ(View.Caption, "Mirror Project:  full.mpj");
  EXPECT_EQ(CurrentURLFile(), file);
  EXPECT_FALSE(Session.Modified());
  EXPECT_EQ(Session.RootURLs(), FullValues().RootURLs);
  EXPECT_EQ(Session.Values().ViewFilter, FullValues().ViewFilter);
  EXPECT_EQ(Session.Values().MimeFilter, FullValues().MimeFilter);
  EXPECT_EQ(View.Shown, Session.Values()) << "the windows show what the session holds";
  EXPECT_EQ(Session.LocalWebDir(), "/srv/mirror");
  EXPECT_EQ(GetLocalWebDir(), "/srv/mirror");
  EXPECT_EQ(List.Count(), 4);
  EXPECT_EQ(View.StatusTexts, (std::vector<std::string>{"Loading URL 1 of 4", "URL list loaded",
                                                        "Mirror project loaded"}));
  EXPECT_FALSE(View.Busy);
  EXPECT_EQ(View.Refreshes, 1) << "the clear at the start; callers rebuild the view";
}

TEST_F(ProjectFile, EmptyFileIsAnEmptyProjectUnderItsOwnName) {
  const std::string file = Work.Write("empty.mpj", "");
  Session.RootURLs() = {{"http://old/", 0}};
  List.AddItem(TVkURLItem(), false);
  const TSettings settings = *Settings.Get();
  Session.LoadMirrorProject(file);
  EXPECT_EQ(Session.ProjectFileName(), file);
  EXPECT_EQ(View.Caption, "Mirror Project:  empty.mpj");
  EXPECT_EQ(CurrentURLFile(), file);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_TRUE(Session.RootURLs().empty());
  EXPECT_EQ(*Settings.Get(), settings);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ProjectFile, FailedLoadsLeaveAnEmptyUnnamedProjectAndNoMixOfValues) {
  const std::string full = Golden(kFullGolden);
  const std::string listAt = std::to_string(FullBytes().Marks.at("list count") + 4 + 10);
  const struct {
    const char* Name;
    std::string Bytes;
    const char* Error;
  } cases[] = {
      {"bad signature", "Quendravilos Ver. 2.0: URLs file" + full.substr(32), kFileFormatError},
      {"shorter than a signature", "Quend", kFileFormatError},
      {"cut in the settings", full.substr(0, 300), kErrorReadingFile},
      {"cut in the list", full.substr(0, std::stoul(listAt)), kErrorReadingFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Work.Write("bad.mpj", c.Bytes);
    Session.LoadMirrorProject(Work.Write("good.mpj", Golden(kEmptyGolden)));
    Session.RootURLs() = {{"http://old/", 0}};
    List.AddItem(TVkURLItem(), false);
    const TProjectValues before = Session.Values();
    try {
      Session.LoadMirrorProject(file);
      ADD_FAILURE() << "loaded";
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), c.Error);
    }
    ExpectEmptyUnnamed();
    EXPECT_EQ(Session.Values().Settings, before.Settings) << "no setting of the damaged file";
    EXPECT_EQ(Session.Values().ViewFilter, before.ViewFilter);
    EXPECT_FALSE(View.Busy);
  }
}

TEST_F(ProjectFile, MissingFileStartsFromTheTemplateUnderItsOwnName) {
  TProjectValues templ = FullValues();
  TVkURLList templList;
  FillList(templList);
  TMemoryStream m;
  WriteMirrorProject(m, templ, templList);
  test::WriteBytes(Prog("MirrorProjects/Default.mpj"), m.Data());

  const std::string wanted = Work / "new/project.mpj";
  Session.LoadMirrorProject(wanted);
  EXPECT_EQ(Session.ProjectFileName(), wanted);
  EXPECT_EQ(View.Caption, "Mirror Project:  project.mpj");
  EXPECT_EQ(Session.RootURLs(), templ.RootURLs);
  EXPECT_EQ(List.Count(), 4);
  EXPECT_TRUE(fs::is_directory(Work / "new")) << "the name's folder is made";
  EXPECT_FALSE(fs::exists(wanted));
  EXPECT_TRUE(Messages().empty());

  Session.SaveMirrorProject(Session.ProjectFileName());
  EXPECT_EQ(test::ReadBytes(wanted), m.Data()) << "the next save writes the requested name";

  // Without a template the new project is empty, and still named.
  fs::remove(Prog("MirrorProjects/Default.mpj"));
  const std::string other = Work / "other.mpj";
  Session.LoadMirrorProject(other);
  EXPECT_EQ(Session.ProjectFileName(), other);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_TRUE(Session.RootURLs().empty());
}

TEST_F(ProjectFile, InvalidNameOnLoadBecomesNoName) {
  for (const std::string& name : {std::string("relative.mpj"), Work / "a\tb.mpj", Work.Path}) {
    SCOPED_TRACE(name);
    Prompter.Prompts.clear();
    Session.LoadMirrorProject(name);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Invalid file name:-\n\n" + name});
    EXPECT_EQ(Session.ProjectFileName(), Prog("MirrorProjects/NoName.mpj"));
    EXPECT_EQ(View.Caption, "Mirror Project:  NoName.mpj");
    EXPECT_TRUE(fs::is_directory(Prog("MirrorProjects")));
  }
}

// --- session: saving ---------------------------------------------------------

TEST_F(ProjectFile, SaveWritesTheFileAndNamesTheProject) {
  Use(FullValues());
  FillList(List);
  Session.SetModified();
  const std::string file = Work / "deep/folder/mine.mpj";
  Session.SaveMirrorProject(file);
  EXPECT_EQ(test::ReadBytes(file), Golden(kFullGolden));
  EXPECT_EQ(Session.ProjectFileName(), file);
  EXPECT_EQ(View.Caption, "Mirror Project:  mine.mpj");
  EXPECT_EQ(CurrentURLFile(), file);
  EXPECT_FALSE(Session.Modified());
  EXPECT_EQ(View.StatusTexts, (std::vector<std::string>{"Saving URL 1 of 4", "URL list saved",
                                                        "Mirror project saved"}));
  EXPECT_FALSE(View.Busy);
  EXPECT_EQ(test::FolderNames(Work / "deep/folder"), std::set<std::string>{"mine.mpj"})
      << "no temporary file is left";
}

TEST_F(ProjectFile, FailedSaveKeepsTheOldFileAndTheSessionAsTheyWere) {
  const std::string file = Work.Write("kept.mpj", Golden(kFullGolden));
  ::chmod(file.c_str(), 0640);
  Session.LoadMirrorProject(file);
  for (int i = 0; i < 3000; ++i) {
    TVkURLItem r;
    r.URL = "http://www.example.com/page" + std::to_string(100000 + i);
    List.AddItem(r, false);
  }
  Session.SetModified();
  try {
    test::TFileSizeLimit limit(Golden(kFullGolden).size() + 10000);
    Session.SaveMirrorProject(file);
    ADD_FAILURE() << "saved past the limit";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), kErrorWritingFile);
  }
  EXPECT_EQ(test::ReadBytes(file), Golden(kFullGolden)) << "byte for byte";
  EXPECT_TRUE(Session.Modified());
  EXPECT_EQ(Session.ProjectFileName(), file);
  EXPECT_EQ(View.Caption, "Mirror Project:  kept.mpj");
  EXPECT_FALSE(View.Busy);
  EXPECT_EQ(test::FolderNames(Work.Path), std::set<std::string>{"kept.mpj"});

  Session.SaveMirrorProject(file);  // with room again
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
      << "the file keeps its permissions";
  TProjectValues values;
  TVkURLList back;
  TFileStream in(file, TFileStream::TMode::fmOpenRead);
  ReadMirrorProject(in, values, back);
  EXPECT_EQ(back.Count(), 3004);
}

TEST_F(ProjectFile, InvalidSaveNameGoesToNoNameAfterAMessage) {
  Use(FullValues());
  for (const std::string& name : {std::string(""), Work / "a\nb.mpj", Work.Path}) {
    SCOPED_TRACE(name);
    Prompter.Prompts.clear();
    Session.SaveMirrorProject(name);
    const std::string fallback = Prog("MirrorProjects/NoName.mpj");
    EXPECT_EQ(Messages(), std::vector<std::string>{
                              "The current \"Mirror project\" file has an invalid name:-\n" + name +
                              "\nIt will be saved to the file:-\n" + fallback +
                              "\nThis should be renamed as soon as posible if you want to "
                              "preserve its contents"});
    EXPECT_EQ(Session.ProjectFileName(), fallback);
    EXPECT_TRUE(IsMirrorProjectFile(fallback));
  }
}

TEST_F(ProjectFile, InvalidFallbackIsAnErrorNotALoop) {
  fs::create_directories(Prog("MirrorProjects/NoName.mpj"));
  Session.LoadMirrorProject(Work.Write("p.mpj", Golden(kFullGolden)));
  Session.SetModified();
  EXPECT_THROW(
      {
        try {
          Session.SaveMirrorProject("relative.mpj");
        } catch (const EInOutError& e) {
          EXPECT_STREQ(e.what(), kErrorWritingFile);
          throw;
        }
      },
      EInOutError);
  EXPECT_EQ(Messages().size(), 1u) << "asked once";
  EXPECT_EQ(Session.ProjectFileName(), Work / "p.mpj");
  EXPECT_TRUE(Session.Modified());
}

// Workers add while the project is saved: each save holds the list lock for
// its pass, so every file is a whole, ordered list (and ThreadSanitizer sees
// no race).
TEST_F(ProjectFile, SaveWhileWorkersAddGivesWholeLists) {
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    for (int i = 0; !stop.load() && i < 200000; ++i) {
      TVkURLItem r;
      r.URL = "http://h/" + std::to_string(1000000 + (i * 7919) % 1000000);
      std::lock_guard<TCriticalSection> g(Lock);
      List.AddItem(r, false);
    }
  });
  const std::string file = Work / "busy.mpj";
  for (int round = 0; round < 5; ++round) {
    Session.SaveMirrorProject(file);
    TFileStream in(file, TFileStream::TMode::fmOpenRead);
    TProjectValues values;
    TVkURLList back;
    ReadMirrorProject(in, values, back);
    for (int i = 1; i < back.Count(); ++i)
      ASSERT_LT(back.GetItem(i - 1)->URL, back.GetItem(i)->URL);
    EXPECT_EQ(in.Position(), in.Size());
  }
  stop = true;
  worker.join();
}

// --- session: opening and the mirror folder ------------------------------------

TEST_F(ProjectFile, OpenAsksThenSavesTheModifiedProjectThenLoads) {
  const std::string current = Work.Write("current.mpj", Golden(kEmptyGolden));
  const std::string chosen = Work.Write("chosen.mpj", Golden(kFullGolden));
  Session.LoadMirrorProject(current);

  EXPECT_FALSE(Session.OpenMirrorProject()) << "cancelled";
  ASSERT_EQ(Prompter.Prompts.size(), 1u);
  EXPECT_EQ(Prompter.Prompts[0].Kind, "open or new") << "a new name must be accepted";

  List.AddItem(TVkURLItem(), false);
  TVkURLItem added;
  added.URL = "http://added/";
  List.AddItem(added, false);
  Session.SetModified();
  Prompter.Paths = {Work / "chosen"};  // typed without the extension
  EXPECT_TRUE(Session.OpenMirrorProject());
  EXPECT_EQ(Session.ProjectFileName(), chosen);
  EXPECT_EQ(List.Count(), 4);
  TProjectValues values;
  TVkURLList saved;
  TFileStream in(current, TFileStream::TMode::fmOpenRead);
  ReadMirrorProject(in, values, saved);
  EXPECT_NE(saved.FindItem("http://added/"), nullptr) << "saved before the open";
}

TEST_F(ProjectFile, OpenStopsWhenTheSaveFails) {
  const std::string chosen = Work.Write("chosen.mpj", Golden(kFullGolden));
  fs::create_directories(Prog("MirrorProjects/NoName.mpj"));  // nowhere to save
  Session.LoadMirrorProject(Work.Write("current.mpj", ""));
  fs::remove(Work / "current.mpj");
  fs::create_directories(Work / "current.mpj");  // the name is now a folder
  TVkURLItem unsaved;
  unsaved.URL = "http://unsaved/";
  List.AddItem(unsaved, false);
  Session.SetModified();
  Prompter.Paths = {chosen};
  EXPECT_THROW(Session.OpenMirrorProject(), EInOutError);
  EXPECT_NE(List.FindItem("http://unsaved/"), nullptr) << "the unsaved work is still there";
  EXPECT_EQ(Session.ProjectFileName(), Work / "current.mpj");
  EXPECT_TRUE(Session.Modified());
}

TEST_F(ProjectFile, ValidateLocalWebDirOffersAnotherFolder) {
  Session.SetLocalWebDir(Work / "mirror");
  EXPECT_TRUE(Session.ValidateLocalWebDir());
  EXPECT_TRUE(fs::is_directory(Work / "mirror"));
  EXPECT_TRUE(Prompter.Prompts.empty());

  const std::string blocked = Work.Write("blocked", "a file") + "/mirror";
  Session.SetLocalWebDir(blocked);
  TSettings shown = *Settings.Get();
  shown.LocWebEd = blocked;
  Settings.Publish(shown);
  EXPECT_FALSE(Session.ValidateLocalWebDir()) << "chooser cancelled";
  ASSERT_EQ(Prompter.Prompts.size(), 2u);
  EXPECT_EQ(Prompter.Prompts[0].Text,
            "The local web directory is invalid.\nPlease select or create another directory");
  EXPECT_EQ(Prompter.Prompts[1].Kind, "folder");
  EXPECT_EQ(Session.LocalWebDir(), blocked);

  Prompter.Paths = {Work / "chosen"};
  EXPECT_TRUE(Session.ValidateLocalWebDir());
  EXPECT_EQ(Session.LocalWebDir(), Work / "chosen");
  EXPECT_EQ(GetLocalWebDir(), Work / "chosen");
  EXPECT_EQ(Settings.Get()->LocWebEd, Work / "chosen");
}

}  // namespace
}  // namespace qv
