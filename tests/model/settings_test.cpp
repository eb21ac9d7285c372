#include "model/settings.h"

#include <cstdlib>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "model/leregistry.h"
#include "model/syshelpers.h"
#include "model/vkconfig.h"
#include "platform/store.h"
#include "support/envscope.h"

namespace qv {
namespace {

std::string Bytes(std::initializer_list<unsigned> b) {
  std::string s;
  for (unsigned x : b) s += static_cast<char>(x);
  return s;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
                          "FTP_PROXY", "all_proxy", "ALL_PROXY"})
      Env.Set(v, nullptr);
    SetRegistryKey(ProgramRegistryKey);
    Key = std::make_unique<TValueFile>(Home.SettingsFile());
    ASSERT_TRUE(Key->Create());
  }
  void TearDown() override { SetRegistryKey(""); }
  TSettings Loaded() {
    TSettings s = FormDefaults();
    LoadSettingsFromStore(s);
    return s;
  }

  test::TScratchHome Home;
  test::TEnvScope& Env = Home.Env;
  std::unique_ptr<TValueFile> Key;
};

TEST_F(SettingsStoreTest, SeededStoreLoadsTheFormValues) {
  SeedSettingsStore();
  const TSettings s = Loaded();
  TSettings d = FormDefaults();
  d.HTTPPrPortEdit = d.FTPPrPortEdit = "0";  // ports are stored as numbers
  EXPECT_EQ(s, d);
  EXPECT_EQ(s.CaFiLiEd, "14");
  EXPECT_TRUE(s.UseModemChk);
  EXPECT_TRUE(s.ShowHlpChk);
  EXPECT_EQ(s.DialupsUD, 3);
  EXPECT_EQ(s.StayConUD, 10);
  EXPECT_EQ(s.RepeatUnitsCombo, "Mins.");
  EXPECT_EQ(RegReadString(RegCacheFileLife), "14");
}

TEST_F(SettingsStoreTest, MissingValuesReadAsEmptyZeroOrOff) {
  const TSettings s = Loaded();
  EXPECT_EQ(s.CaFiLiEd, "");
  EXPECT_FALSE(s.UseModemChk);
  EXPECT_EQ(s.HTTPPrPortEdit, "0");
  EXPECT_EQ(s.HrsUD, 0);
  EXPECT_EQ(s.DialupsUD, 1);  // 0 is below the control's range
  EXPECT_TRUE(s.PrjGrid.empty());
  // Project options are not the store's.
  EXPECT_EQ(s.TimeOutUD, 30);
}

TEST_F(SettingsStoreTest, OptionsRoundTripThroughTheStore) {
  TSettings s = FormDefaults();
  s.HrsUD = 5;
  s.MinsUD = 7;
  s.EmailEdit = "me@example.com";
  s.HTTPPrEdit = "proxy";
  s.HTTPPrPortEdit = "8080";
  s.FTPPrPortEdit = "not a number";
  s.PrPWEdit = "p\xe9w";
  s.UseModemChk = false;
  s.PrjGrid = {{"/p/a.mpj", 0x0FFF7F02}, {"/p/b.mpj", 0x00030103}};
  SaveSettingsToStore(s);
  EXPECT_EQ(RegReadInteger(RegDailyTime), 307);
  EXPECT_EQ(RegReadInteger(RegFTPProxyPort), 0);
  EXPECT_EQ(RegReadString(RegSchedualMirrors), "/p/a.mpj\r\n/p/b.mpj\r\n");
  EXPECT_EQ(Key->ReadBinary(RegSchedualTypes),
            Bytes({0x02, 0x7F, 0xFF, 0x0F, 0x03, 0x01, 0x03, 0x00}));
  TSettings back = Loaded();
  s.FTPPrPortEdit = "0";
  EXPECT_EQ(back, s);
}

TEST_F(SettingsStoreTest, ScheduleTypesCoverTheRows) {
  struct Case {
    const char* name;
    std::string types;
    std::vector<uint32_t> attrs;
  } cases[] = {
      {"exactly four bytes a row", Bytes({2, 0x7F, 0xFF, 0x0F, 3, 1, 0, 0}), {0x0FFF7F02, 0x103}},
      {"fewer: uncovered rows get 0", Bytes({2, 0x7F, 0xFF, 0x0F}), {0x0FFF7F02, 0}},
      {"odd length", Bytes({2, 0x7F, 0xFF, 0x0F, 3}), {0x0FFF7F02, 3}},
      {"more: refused as a whole", std::string(12, '\x01'), {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegWriteString(RegSchedualMirrors, "/a.mpj\r\n/b.mpj\r\n");
    RegWriteBinary(RegSchedualTypes, c.types.data(), static_cast<int>(c.types.size()));
    const TSettings s = Loaded();
    ASSERT_EQ(s.PrjGrid.size(), 2u);
    EXPECT_EQ(s.PrjGrid[0].Attr, c.attrs[0]);
    EXPECT_EQ(s.PrjGrid[1].Attr, c.attrs[1]);
    EXPECT_EQ(s.PrjGrid[1].Text, "/b.mpj");
  }
}

TEST_F(SettingsStoreTest, ScheduleKeepsAtMostAThousandRows) {
  std::string text;
  for (int i = 0; i < 1005; ++i) text += "/p" + std::to_string(i) + ".mpj\r\n";
  RegWriteString(RegSchedualMirrors, text);
  const TSettings s = Loaded();
  ASSERT_EQ(s.PrjGrid.size(), 1000u);
  EXPECT_EQ(s.PrjGrid.back().Text, "/p999.mpj");
}

TEST_F(SettingsStoreTest, ProxyMarkerTakesTheSystemProxy) {
  struct Case {
    const char* name;
    const char* env;  // http_proxy, or nullptr for none
    int storedPort;
    std::string host, port;
  } cases[] = {
      {"no system proxy", nullptr, 0, "", "0"},
      {"no system proxy keeps the stored port", nullptr, 81, "", "81"},
      {"system proxy", "http://sys.example:3128/", 81, "sys.example", "3128"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Env.Set("http_proxy", c.env);
    RegWriteString(RegHTTPProxy, "?");
    RegWriteInteger(RegHTTPProxyPort, c.storedPort);
    const TSettings s = Loaded();
    EXPECT_EQ(s.HTTPPrEdit, c.host);
    EXPECT_EQ(s.HTTPPrPortEdit, c.port);
    SaveSettingsToStore(s);
    EXPECT_EQ(RegReadString(RegHTTPProxy), c.host);
  }
}

TEST_F(SettingsStoreTest, DailyTimeSplitsIntoHoursAndMinutes) {
  RegWriteInteger(RegDailyTime, 307);
  TSettings s = Loaded();
  EXPECT_EQ(s.HrsUD, 5);
  EXPECT_EQ(s.MinsUD, 7);
  RegWriteInteger(RegDailyTime, -5);  // damaged: kept inside the controls' ranges
  s = Loaded();
  EXPECT_EQ(s.HrsUD, 0);
  EXPECT_EQ(s.MinsUD, 0);
}

TEST(SettingsTable, EveryOptionHasAControlAndAField) {
  std::map<std::string, int> seen;
  for (const auto& o : SettingsOptions()) {
    EXPECT_EQ(seen[o.Control]++, 0) << o.Control;
    EXPECT_EQ(FindOption(o.Control), &o);
    if (o.Kind == TOptionKind::Number) {
      const int d = JnStrToInt(o.Default);
      EXPECT_TRUE(d >= o.Min && d <= o.Max) << o.Control;
    }
  }
  const TSettings d = FormDefaults();
  EXPECT_TRUE(d.AllMimeChk && !d.OnlyHTMChk);
  EXPECT_TRUE(d.NeverDLChk && d.DisCookChk && d.TLChk && d.EnterNoRobChk);
  EXPECT_EQ(d.TimeOutUD, 30);
  EXPECT_EQ(d.MaxThreadsUD, 10);
  EXPECT_EQ(d.MaxThrServUD, 5);
  EXPECT_EQ(d.DLRetriesUD, 2);
}

std::string Golden() { return ReadFileString(QV_TEST_DATA "/settings/project_section.bin"); }

TEST(ProjectSection, GoldenLoadsAndSavesByteForByte) {
  TMemoryStream in(Golden() + "NEXT");
  TSettings s = FormDefaults();
  TMimeFilter f;
  LoadProjectSettings(in, s, f);
  EXPECT_EQ(in.Position(), static_cast<int64_t>(Golden().size()));

  EXPECT_EQ(s.LinkFollowGrid, (std::vector<TAtrRow>{{"*.example.com/*", 2}, {"*/cgi-bin/*", 3}}));
  EXPECT_FALSE(s.OnlyHTMChk);  // the pair was stored both off
  EXPECT_FALSE(s.AllMimeChk);
  EXPECT_TRUE(s.SpiderFTPChk && s.ResParChk && s.OlderDLChk);
  EXPECT_FALSE(s.NeverDLChk || s.SeqDLChk || s.ResumePartial());
  EXPECT_EQ(s.TimeOutUD, 45);
  EXPECT_EQ(s.MaxThreadsUD, 7);
  EXPECT_EQ(s.DLRetriesUD, 0);
  EXPECT_EQ(s.LocWebEd, "/srv/mirror");
  EXPECT_EQ(s.HomePageEd, "http://h.example/");
  EXPECT_TRUE(s.UseDropChk && s.MainPosChk && s.BLChk && s.RetryServChk && s.InSesCookChk);
  EXPECT_FALSE(s.TLChk || s.DisCookChk);
  EXPECT_EQ(f.OtherList, (std::vector<std::string>{"text/x-speech", "audio/mpeg"}));
  EXPECT_EQ(f.Patterns, (std::vector<std::string>{"audio/mpeg", "image/*", "text/html"}));
  EXPECT_TRUE(f.UnknownChk);
  EXPECT_FALSE(f.SelOnlyChk || f.AllChk);

  TMemoryStream out;
  SaveProjectSettings(out, s, f);
  EXPECT_EQ(out.Data(), Golden());
}

TEST(ProjectSection, LastCheckedRadioOfAGroupWins) {
  TSettings s = FormDefaults();
  s.OnlyHTMChk = s.AllMimeChk = true;
  s.NeverDLChk = s.SeqDLChk = true;
  s.TLChk = s.BRChk = true;
  TMemoryStream st;
  SaveProjectSettings(st, s, TMimeFilter{});
  st.Seek(0, TSeekOrigin::soBeginning);
  TSettings back;
  TMimeFilter f;
  LoadProjectSettings(st, back, f);
  EXPECT_TRUE(back.AllMimeChk);
  EXPECT_FALSE(back.OnlyHTMChk);
  EXPECT_TRUE(back.SeqDLChk);
  EXPECT_FALSE(back.NeverDLChk);
  EXPECT_TRUE(back.BRChk);
  EXPECT_FALSE(back.TLChk);
}

TEST(ProjectSection, DamagedSectionsFailWithoutChangingAnything) {
  const std::string g = Golden();
  std::string hugeCount = g;
  hugeCount[0] = '\xff';
  hugeCount[3] = '\x7f';
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"cut inside the rows", g.substr(0, 20)},
      {"cut inside the padding", g.substr(0, g.size() - 1)},
      {"row count larger than the file", hugeCount},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream in(c.bytes);
    TSettings s = FormDefaults();
    TMimeFilter f;
    f.Patterns = {"text/html"};
    EXPECT_THROW(LoadProjectSettings(in, s, f), EInOutError);
    EXPECT_EQ(s, FormDefaults());
    EXPECT_EQ(f.Patterns, (std::vector<std::string>{"text/html"}));
  }
}

TEST(ProjectSection, LimitsAreKeptInsideTheControlsRanges) {
  TSettings s = FormDefaults();
  s.TimeOutUD = 500;
  s.MaxThreadsUD = 0;
  TMemoryStream st;
  SaveProjectSettings(st, s, TMimeFilter{});
  st.Seek(0, TSeekOrigin::soBeginning);
  TMimeFilter f;
  LoadProjectSettings(st, s, f);
  EXPECT_EQ(s.TimeOutUD, 180);
  EXPECT_EQ(s.MaxThreadsUD, 1);
}

TEST(ProjectSection, InvalidMirrorFolderFallsBackToTheHomeMirror) {
  test::TEnvScope env;
  env.Set("HOME", "/home/qv-test");
  const struct {
    const char* Stored;
    const char* Loaded;
  } cases[] = {
      {"rel*ative", "/home/qv-test/TvWeb"},
      {"relative/mirror", "/home/qv-test/TvWeb"},
      {"", "/home/qv-test/TvWeb"},  // never the file-system root
      {"/srv/mirror", "/srv/mirror"},
      {"/srv/mirror/", "/srv/mirror/"},
      {"/home/o'neil/TvWeb", "/home/o'neil/TvWeb"},  // a folder name the file system takes
      {"/srv/mi\nrror", "/home/qv-test/TvWeb"},
  };
  for (const auto& c : cases) {
    TSettings s = FormDefaults();
    s.LocWebEd = c.Stored;
    TMemoryStream st;
    SaveProjectSettings(st, s, TMimeFilter{});
    st.Seek(0, TSeekOrigin::soBeginning);
    TMimeFilter f;
    LoadProjectSettings(st, s, f);
    EXPECT_EQ(s.LocWebEd, c.Loaded) << "stored \"" << c.Stored << "\"";
  }
}

// The settings window republishes while worker threads read: every read is
// one whole published value.
TEST(SettingsSnapshot, WorkersReadWholeSnapshotsWhileTheWindowPublishes) {
  TPublished<TSettings> published;
  published.Publish(FormDefaults());
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 2; ++t)
    readers.emplace_back([&] {
      while (!stop) {
        const auto s = published.Get();
        if (s->TimeOutUD != s->MaxThreadsUD + 100 && s->TimeOutUD != 30) ++torn;
        if (s->UserAgEd.size() != static_cast<size_t>(s->MaxThreadsUD)) {
          if (s->TimeOutUD != 30) ++torn;
        }
      }
    });
  for (int i = 1; i < 3000; ++i) {
    TSettings s = FormDefaults();
    s.MaxThreadsUD = i % 15;
    s.TimeOutUD = s.MaxThreadsUD + 100;
    s.UserAgEd = std::string(static_cast<size_t>(s.MaxThreadsUD), 'a');
    published.Publish(std::move(s));
  }
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(GlobalSettings().Get()->CaFiLiEd, "14");
}

}  // namespace
}  // namespace qv
