#include "model/vkurllist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Every list test runs against an empty mirror, so refreshes find no body.
class URLList : public ::testing::Test {
 protected:
  void SetUp() override { SetLocalWebDir(Mirror.Path); }
  test::TScratchDir Mirror;
};

TVkURLItem Rec(const std::string& url, std::uint8_t status = usNew,
               const std::string& details = "") {
  TVkURLItem r;
  r.URL = url;
  r.Status = status;
  r.Details = details;
  return r;
}

std::vector<std::string> URLs(const TVkURLList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.GetItem(i)->URL);
  return out;
}

TEST_F(URLList, KeysIgnoreOneTrailingSlashAndKeepTheFirstSpelling) {
  TVkURLList list;
  EXPECT_EQ(list.IndexOfURL("http://h/"), -1) << "empty list";
  EXPECT_EQ(list.AddItem(Rec("http://h/d"), false), 0);
  EXPECT_EQ(list.AddItem(Rec("http://h/d/"), false), 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetItem(0)->URL, "http://h/d");
  EXPECT_EQ(list.IndexOfURL("http://h/d/"), 0);
  // Only one slash goes: "d//" is another key, whether or not it is last.
  EXPECT_EQ(list.IndexOfURL("http://h/d//"), ~1);
  list.AddItem(Rec("http://h/e"), false);
  EXPECT_EQ(list.IndexOfURL("http://h/d//"), ~1);

  TVkURLList slashLast;
  slashLast.AddItem(Rec("http://h/d/"), false);
  EXPECT_EQ(slashLast.IndexOfURL("http://h/d"), 0);
  EXPECT_EQ(slashLast.IndexOfURL("http://h/d//"), ~1);
  EXPECT_EQ(slashLast.AddItem(Rec("http://h/d//"), false), 1);
  EXPECT_EQ(URLs(slashLast), (std::vector<std::string>{"http://h/d/", "http://h/d//"}));
}

TEST_F(URLList, IndexResultsAndUnsignedByteOrder) {
  TVkURLList list;
  // Inserted out of order; bytes above 0x7F sort after ASCII, capitals
  // before small letters.
  for (const char* u : {"http://b/", "http://a/\xE9", "http://B/", "http://a/z", "http://c"})
    list.AddItem(Rec(u), false);
  EXPECT_EQ(URLs(list), (std::vector<std::string>{"http://B/", "http://a/z", "http://a/\xE9",
                                                  "http://b/", "http://c"}));
  struct Case {
    const char* url;
    int index;
  };
  const std::vector<Case> cases = {
      {"http://A", ~0}, {"http://B", 0},   {"http://a/y", ~1}, {"http://a/\xE9/", 2},
      {"http://b", 3},  {"http://bb", ~4}, {"http://c/", 4},   {"http://d", ~5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(list.IndexOfURL(c.url), c.index) << c.url;
    EXPECT_EQ(list.FindItem(c.url) != nullptr, c.index >= 0) << c.url;
  }
  EXPECT_THROW(list.GetItem(5), EListError);
  EXPECT_THROW(list.GetItem(-1), EListError);
  EXPECT_THROW(list.DeleteItem(5), EListError);
}

TEST_F(URLList, TheCallerKeepsItsRecord) {
  TVkURLList list;
  TVkURLItem mine = Rec("http://h/x", usFailed, "Failed");
  list.AddItem(mine, false);
  mine.Details = "changed";
  EXPECT_EQ(list.GetItem(0)->Details, "Failed");
  EXPECT_NE(list.GetItem(0), &mine);
}

TEST_F(URLList, AMadeRecordIsTakenOverWhenNewAndMergedFromWhenKnown) {
  TVkURLList list;
  for (const char* url : {"http://h/b", "http://h/a", "http://h/c"}) {
    auto made = std::make_unique<TVkURLItem>(Rec(url, usNew));
    made->LinkFlags = 7;
    const TVkURLItem* address = made.get();
    list.AddOwned(made);
    EXPECT_EQ(made, nullptr) << url << ": a new URL keeps the record itself";
    EXPECT_EQ(list.FindItem(url), address);
    EXPECT_EQ(address->LinkFlags, 0);
  }
  auto again = std::make_unique<TVkURLItem>(Rec("http://h/a/", usFailed, "Failed"));
  EXPECT_EQ(list.AddOwned(again), 0);
  ASSERT_NE(again, nullptr) << "a known URL merges and leaves the record to the caller";
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetItem(0)->Details, "Failed");
  EXPECT_EQ(URLs(list), (std::vector<std::string>{"http://h/a", "http://h/b", "http://h/c"}));
}

struct MergeCase {
  const char* name;
  TVkURLItem own;
  TVkURLItem incoming;
  TVkURLItem want;  // NeedsCheck included
};

TEST_F(URLList, MergeRule) {
  // Fields in constructor order: URL, FoundURL, ParentURL, PageFileFlag, Title,
  // ImageURL, Checked, Size, ContentType, Status, NeedsCheck, Details.
  const std::vector<MergeCase> cases = {
      {"lower incoming keeps status and details, fills empty fields, rechecks 50",
       TVkURLItem("http://h/a", "", "http://h/p1", 0, "", "", 1, 0, "text/html", usDownloaded, 0,
                  "OK"),
       TVkURLItem("http://h/a/", "a", "http://h/p2", 1, "T", "http://h/i.gif", 0, -1, "image/gif",
                  usNew, 0, "new details"),
       TVkURLItem("http://h/a", "a", "http://h/p1", 1, "T", "http://h/i.gif", 1, -1, "text/html",
                  usDownloaded, 1, "OK")},
      {"lower incoming below a status other than 50 sets no check",
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 7, "", usFailed, 0, "Timed out"),
       TVkURLItem("http://h/a", "f", "", 1, "", "", 1, 9, "x/y", usNew, 0, ""),
       TVkURLItem("http://h/a", "f", "", 1, "", "", 0, 7, "", usFailed, 0, "Timed out")},
      {"higher incoming replaces status and details, keeps where incoming is empty",
       TVkURLItem("http://h/a", "found", "http://h/p", 1, "Title", "img", 1, 5, "text/html", usNew,
                  0, "old"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usFailed, 0, "Failed"),
       TVkURLItem("http://h/a", "found", "http://h/p", 1, "Title", "img", 1, 5, "text/html",
                  usFailed, 0, "Failed")},
      {"equal incoming takes non-empty fields and even empty details",
       TVkURLItem("http://h/a", "f1", "p1", 0, "t1", "i1", 0, 5, "c1", usInfoRetrieved, 0, "d1"),
       TVkURLItem("http://h/a", "f2", "p2", 1, "t2", "i2", 1, 6, "c2", usInfoRetrieved, 0, ""),
       TVkURLItem("http://h/a", "f2", "p2", 1, "t2", "i2", 0, 6, "c2", usInfoRetrieved, 0, "")},
      {"statuses compare as signed bytes: 200 is below 10",
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usNew, 0, "d"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", 200, 0, "x"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usNew, 0, "d")},
      {"a stale 50 with no body is refreshed to 20 before the comparison",
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usDownloaded, 1, "d"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usFailed, 0, "Failed"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usFailed, 0, "Failed")},
      {"an incoming stale 50 arrives as 20",
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usNew, 0, "d"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usDownloaded, 1, "x"),
       TVkURLItem("http://h/a", "", "", 0, "", "", 0, 0, "", usDeleted, 0, "x")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TVkURLList list;
    list.AddItem(c.own, false);
    list.GetItem(0)->LinkFlags = 0;
    list.AddItem(c.incoming, false);
    ASSERT_EQ(list.Count(), 1);
    const TVkURLItem& got = *list.GetItem(0);
    const TVkURLItem& w = c.want;
    EXPECT_EQ(got.URL, w.URL);
    EXPECT_EQ(got.FoundURL, w.FoundURL);
    EXPECT_EQ(got.ParentURL, w.ParentURL);
    EXPECT_EQ(got.PageFileFlag, w.PageFileFlag);
    EXPECT_EQ(got.Title, w.Title);
    EXPECT_EQ(got.ImageURL, w.ImageURL);
    EXPECT_EQ(got.Checked, w.Checked);
    EXPECT_EQ(got.Size, w.Size);
    EXPECT_EQ(got.ContentType, w.ContentType);
    EXPECT_EQ(got.Status, w.Status);
    EXPECT_EQ(got.NeedsCheck, w.NeedsCheck);
    EXPECT_EQ(got.Details, w.Details);
  }
}

TEST_F(URLList, CopyLeavesLinkFlagsAndStatusTexts) {
  TVkURLItem src("u", "f", "p", 1, "t", "i", 1, 3, "c", 40, 1, "d");
  src.LinkFlags = 9;
  TVkURLItem dst;
  dst.Assign(src, false);
  EXPECT_EQ(dst.LinkFlags, 0);
  EXPECT_EQ(dst.NeedsCheck, 1);
  EXPECT_EQ(dst.Details, "d");

  const std::vector<std::pair<int, std::string>> texts = {
      {10, "New"},        {20, "Deleted"},    {30, "Failed"}, {40, "Info. retrieved"},
      {50, "Downloaded"}, {60, "Not a file"}, {0, ""},        {11, ""},
      {255, ""}};
  for (const auto& [code, text] : texts) {
    TVkURLItem r;
    EXPECT_EQ(r.SetStatus(static_cast<std::uint8_t>(code)), code);
    EXPECT_EQ(r.GetStatusText(), text) << code;
  }
}

TEST_F(URLList, StatusRefreshAgainstTheMirrorTree) {
  const std::string url = "http://www.example.com/dir/page.html";
  struct Case {
    const char* name;
    std::uint8_t status;
    std::uint8_t needsCheck;
    const char* bodyExt;  // nullptr: no file
    std::uint8_t want;
  };
  const std::vector<Case> cases = {
      {"new with a body reads as downloaded", usNew, 1, ".html", usDownloaded},
      {"downloaded without a body reads as deleted", usDownloaded, 1, nullptr, usDeleted},
      {"failed without a body stays failed", usFailed, 1, nullptr, usFailed},
      {"deleted with a body under another extension", usDeleted, 1, ".htm", usDownloaded},
      {"a transfer in progress is no body", usInfoRetrieved, 1, ".tmp", usInfoRetrieved},
      {"a downloaded body without a check flag is not looked at", usDownloaded, 0, nullptr,
       usDownloaded},
      {"no check flag, body present, status kept", usFailed, 0, ".html", usFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TScratchDir mirror;
    SetLocalWebDir(mirror.Path);
    if (c.bodyExt) WriteFileString(URLToLocalPath(mirror.Path, url, "Data", c.bodyExt), "body");
    TVkURLItem r(url, "", "", 0, "", "", 0, 0, "", c.status, c.needsCheck, "");
    EXPECT_EQ(r.GetStatusText(), StatusText(c.want));
    EXPECT_EQ(r.Status, c.want);
    EXPECT_EQ(r.NeedsCheck, 0);
    // A merge refreshes the incoming record the same way.
    TVkURLList list;
    list.AddItem(TVkURLItem(url, "", "", 0, "", "", 0, 0, "", usNew, 0, "old"), false);
    list.AddItem(TVkURLItem(url, "", "", 0, "", "", 0, 0, "", c.status, c.needsCheck, "in"), false);
    EXPECT_EQ(list.GetItem(0)->Status, std::max<std::uint8_t>(c.want, usNew));
  }
}

// Inside a run, refreshes remember the mirror's missing folders (a body
// stored since is not seen); the memory ends with the outermost run, so the
// next refresh sees the new body.
TEST_F(URLList, ARefreshRunRemembersMissingFoldersOnlyWhileItLasts) {
  const std::string a = "http://h.test/d/a.html", b = "http://h.test/e/b.html";
  auto marked = [](const std::string& url) {
    return TVkURLItem(url, "", "", 0, "", "", 0, 0, "", usNew, 1, "");
  };
  {
    const TStatusRefreshRun outer;
    EXPECT_EQ(marked(a).GetStatus(), usNew);
    WriteFileString(URLToLocalPath(Mirror.Path, b, "Data", ".html"), "body");
    {
      const TStatusRefreshRun inner;
      EXPECT_EQ(marked(b).GetStatus(), usNew) << "the outer run's memory holds";
    }
    EXPECT_EQ(marked(b).GetStatus(), usNew);
  }
  EXPECT_EQ(marked(b).GetStatus(), usDownloaded);
}

// A model of the list: a map from key to record, with the merge rule written
// out independently. Random adds (in both modes), deletes and probes must
// leave list and model in agreement on order, uniqueness, contents and every
// index result.
struct TModelRec {
  std::string URL, Found, Details;
  int Status = usNew;
  int NeedsCheck = 0;
  int Checked = 0;
  int Size = 0;
};

int Refreshed(const TModelRec& r) {
  if (!r.NeedsCheck) return r.Status;
  return r.Status == usDownloaded ? usDeleted : r.Status;  // the test mirror holds no bodies
}

std::string KeyOf(const std::string& url) {
  return !url.empty() && url.back() == '/' ? url.substr(0, url.size() - 1) : url;
}

TEST_F(URLList, AgreesWithAMapModelOverRandomOperations) {
  std::mt19937 rng(20261210);
  const std::vector<std::string> hosts = {"http://a", "http://b", "http://B", "https://a"};
  const std::vector<std::string> paths = {"",   "/",         "/x",   "/x/",   "/x//",
                                          "/y", "/\xC3\xA9", "/x/1", "/x/2/", "/z?q=1"};
  const std::vector<int> statuses = {10, 20, 30, 40, 50, 60};
  auto randomURL = [&] {
    std::string u = hosts[rng() % hosts.size()] + paths[rng() % paths.size()];
    if (rng() % 4 == 0) u += "/" + std::to_string(rng() % 300);
    return u;
  };

  for (int round = 0; round < 4; ++round) {
    TVkURLList list;
    std::map<std::string, TModelRec> model;
    const int ops = 3000;
    for (int op = 0; op < ops; ++op) {
      const int what = static_cast<int>(rng() % 10);
      if (what < 7) {
        TVkURLItem r;
        r.URL = randomURL();
        r.FoundURL = rng() % 2 ? "" : "found" + std::to_string(op);
        r.Details = rng() % 3 ? "" : "d" + std::to_string(op);
        r.Status = static_cast<std::uint8_t>(statuses[rng() % statuses.size()]);
        r.Checked = rng() % 2;
        r.Size = static_cast<std::int32_t>(rng() % 3);
        const bool append = rng() % 4 == 0;
        const int got = list.AddItem(r, append);

        const std::string key = KeyOf(r.URL);
        auto it = model.find(key);
        if (it == model.end()) {
          model[key] = TModelRec{r.URL, r.FoundURL, r.Details, r.Status, 0, r.Checked, r.Size};
        } else {
          TModelRec& m = it->second;
          const int own = Refreshed(m);
          m.Status = own;
          m.NeedsCheck = 0;
          if (static_cast<std::int8_t>(r.Status) < static_cast<std::int8_t>(own)) {
            if (m.Found.empty()) m.Found = r.FoundURL;
            if (m.Size == 0) m.Size = r.Size;
            if (m.Status == usDownloaded) m.NeedsCheck = 1;
          } else {
            m.Status = r.Status;
            m.Details = r.Details;
            if (!r.FoundURL.empty()) m.Found = r.FoundURL;
            if (r.Size != 0) m.Size = r.Size;
          }
        }
        const int want = static_cast<int>(std::distance(model.begin(), model.find(key)));
        ASSERT_EQ(got, want) << "add " << r.URL;
      } else if (what < 8 && !model.empty()) {
        const int i = static_cast<int>(rng() % model.size());
        auto it = std::next(model.begin(), i);
        ASSERT_EQ(KeyOf(list.GetItem(i)->URL), it->first);
        list.DeleteItem(i);
        model.erase(it);
      } else {
        const std::string probe = randomURL();
        auto lb = model.lower_bound(KeyOf(probe));
        const int pos = static_cast<int>(std::distance(model.begin(), lb));
        const bool found = lb != model.end() && lb->first == KeyOf(probe);
        ASSERT_EQ(list.IndexOfURL(probe), found ? pos : ~pos) << probe;
      }
      ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
    }
    int i = 0;
    for (const auto& [key, m] : model) {
      SCOPED_TRACE(key);
      const TVkURLItem& r = *list.GetItem(i++);
      EXPECT_EQ(r.URL, m.URL);
      EXPECT_EQ(r.FoundURL, m.Found);
      EXPECT_EQ(r.Details, m.Details);
      EXPECT_EQ(r.Status, m.Status);
      EXPECT_EQ(r.NeedsCheck, m.NeedsCheck);
      EXPECT_EQ(r.Checked, m.Checked);
      EXPECT_EQ(r.Size, m.Size);
    }
  }
}

TEST_F(URLList, LargeListsKeepOrderThroughSplitsAndDeletes) {
  // Enough records for several tree levels, arriving ascending, descending
  // and shuffled, then thinned out.
  std::vector<std::string> urls;
  for (int i = 0; i < 20000; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "http://host%02d.example/p/%06d.html", i % 37, i);
    urls.push_back(buf);
  }
  std::vector<std::string> sorted = urls;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::vector<std::string>> orders = {sorted, {sorted.rbegin(), sorted.rend()}, urls};
  std::shuffle(orders[2].begin(), orders[2].end(), std::mt19937(7));
  for (const auto& order : orders) {
    TVkURLList list;
    for (const auto& u : order) list.AddItem(Rec(u), false);
    ASSERT_EQ(URLs(list), sorted);
    // Delete every record whose position is not a multiple of 7, from the end.
    std::vector<std::string> kept;
    for (int i = list.Count() - 1; i >= 0; --i)
      if (i % 7 != 0) list.DeleteItem(i);
    for (std::size_t i = 0; i < sorted.size(); i += 7) kept.push_back(sorted[i]);
    ASSERT_EQ(URLs(list), kept);
    for (std::size_t i = 0; i < kept.size(); ++i)
      ASSERT_EQ(list.IndexOfURL(kept[i]), static_cast<int>(i));
    // Then everything, from the front, and the list is usable again.
    while (list.Count() > 0) list.DeleteItem(0);
    EXPECT_EQ(list.IndexOfURL("http://x"), -1);
    EXPECT_EQ(list.AddItem(Rec("http://x"), false), 0);
  }
}

TEST_F(URLList, ClearFreesEveryRecordAndTheListStaysUsable) {
  TVkURLList list;
  for (int i = 0; i < 5000; ++i) list.AddItem(Rec("http://h/" + std::to_string(i)), false);
  list.ClearItems();  // leaks would show under the address sanitizer
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOfURL("http://h/1"), -1);
  list.AddItem(Rec("http://h/1"), false);
  EXPECT_EQ(list.Count(), 1);
}

// --- Streams ----------------------------------------------------------------

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

TEST_F(URLList, RecordLayoutIsByteExact) {
  TVkURLItem r("U", "F", "P", 1, "T", "I", 1, -2, "C", 50, 1, "D");
  r.LinkFlags = 0;
  TMemoryStream m;
  r.SaveToStream(m);
  const std::string want =
      Bytes({1,   0, 0, 0, 'U', 1,   1, 0, 0, 0,   'T', 1,   0xFE, 0xFF, 0xFF, 0xFF,
             50,  1, 0, 0, 0,   'D', 0, 1, 0, 0,   0,   'I', 1,    0,    0,    0,
             'C', 0, 0, 0, 0,   1,   0, 0, 0, 'P', 1,   0,   0,    0,    'F',  0}) +
      std::string(15, '\0');
  EXPECT_EQ(m.Data(), want);
  TMemoryStream blank;
  TVkURLItem().SaveToStream(blank);
  EXPECT_EQ(blank.Data().size(), 56u) << "the smallest record";
}

TEST_F(URLList, StreamRoundTripOfEveryFieldKind) {
  TVkURLList list;
  const std::string odd = Bytes({'h', 't', 't', 'p', ':', '/', '/', 'z', '/', 0, 0xFF, 0x80});
  list.AddItem(TVkURLItem("http://a/", "found", "http://p/", 1, "T\xE9", "http://i/", 1, -1,
                          "text/html", usDownloaded, 0, "Downloaded"),
               false);
  list.AddItem(TVkURLItem(odd, std::string(1, '\0'), "", 0, "", "", 0, 2147483647, "", usNotAFile,
                          0, std::string(70000, 'd')),
               false);
  list.AddItem(TVkURLItem("http://m", "", "", 0, "", "", 0, 0, "", usNew, 0, ""), false);
  list.GetItem(0)->LinkFlags = 5;  // not stored: reads back as 0

  TMemoryStream m;
  std::vector<std::string> saveTexts;
  list.SaveToStream(m, [&](const std::string& t) { saveTexts.push_back(t); });
  EXPECT_EQ(saveTexts, (std::vector<std::string>{"Saving URL 1 of 3", "URL list saved"}));

  m.Seek(0, TSeekOrigin::soBeginning);
  TVkURLList back;
  back.AddItem(Rec("http://stale"), false);  // loading replaces the contents
  back.LoadFromStream(m);
  EXPECT_EQ(m.Position(), m.Size());
  ASSERT_EQ(back.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TVkURLItem& a = *list.GetItem(i);
    const TVkURLItem& b = *back.GetItem(i);
    EXPECT_EQ(b.URL, a.URL);
    EXPECT_EQ(b.FoundURL, a.FoundURL);
    EXPECT_EQ(b.ParentURL, a.ParentURL);
    EXPECT_EQ(b.PageFileFlag, a.PageFileFlag);
    EXPECT_EQ(b.Title, a.Title);
    EXPECT_EQ(b.ImageURL, a.ImageURL);
    EXPECT_EQ(b.Checked, a.Checked);
    EXPECT_EQ(b.Size, a.Size);
    EXPECT_EQ(b.ContentType, a.ContentType);
    EXPECT_EQ(b.Status, a.Status) << "stored as it stands, not refreshed";
    EXPECT_EQ(b.Details, a.Details);
    EXPECT_EQ(b.LinkFlags, 0);
    EXPECT_EQ(b.NeedsCheck, 1) << "every loaded record is checked again";
  }
}

TEST_F(URLList, ProgressTextsEveryHundredRecords) {
  TVkURLList list;
  for (int i = 0; i < 250; ++i) list.AddItem(Rec("http://h/" + std::to_string(1000 + i)), false);
  TMemoryStream m;
  list.SaveToStream(m);
  m.Seek(0, TSeekOrigin::soBeginning);
  std::vector<std::string> texts;
  TVkURLList back;
  back.LoadFromStream(m, [&](const std::string& t) { texts.push_back(t); });
  EXPECT_EQ(texts, (std::vector<std::string>{"Loading URL 1 of 250", "Loading URL 101 of 250",
                                             "Loading URL 201 of 250", "URL list loaded"}));
}

TEST_F(URLList, TruncatedAndHostileStreams) {
  TVkURLList list;
  list.AddItem(Rec("http://a/1", usFailed, "Failed"), false);
  list.AddItem(Rec("http://a/2", usNew, ""), false);
  TMemoryStream whole;
  list.SaveToStream(whole);
  const std::string full = whole.Data();
  // The last record's LinkFlags byte, its padding and the trailer are zeros
  // that a cut loses nothing of; a cut anywhere before them is an error.
  const std::size_t needed = full.size() - 200 - 16;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    TMemoryStream m(full.substr(0, cut));
    TVkURLList back;
    try {
      back.LoadFromStream(m);
      EXPECT_GE(cut, needed);
      EXPECT_EQ(URLs(back), URLs(list));
    } catch (const EInOutError& e) {
      EXPECT_LT(cut, needed);
      EXPECT_STREQ(e.what(), kErrorReadingFile);
    }
  }
  const std::vector<std::pair<const char*, std::string>> hostile = {
      {"negative count", Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {"huge count, no records", Bytes({0xFF, 0xFF, 0xFF, 0x7F})},
      {"huge string count", Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'h'})},
  };
  for (const auto& [name, bytes] : hostile) {
    SCOPED_TRACE(name);
    TMemoryStream m(bytes);
    TVkURLList back;
    EXPECT_THROW(back.LoadFromStream(m), EInOutError);
  }
}

TEST_F(URLList, OutOfOrderFileStillGivesASortedList) {
  // Records as a hand-edited file might hold them: out of order and twice.
  TMemoryStream m;
  WriteStreamInt32(m, 4);
  for (const auto& [url, status] : std::vector<std::pair<std::string, int>>{
           {"http://b", 10}, {"http://a", 10}, {"http://c", 10}, {"http://b/", 30}})
    Rec(url, static_cast<std::uint8_t>(status), "x").SaveToStream(m);
  WriteStreamZeros(m, 200);
  m.Seek(0, TSeekOrigin::soBeginning);
  TVkURLList list;
  list.LoadFromStream(m);
  EXPECT_EQ(URLs(list), (std::vector<std::string>{"http://a", "http://b", "http://c"}));
  EXPECT_EQ(list.GetItem(1)->Status, usFailed) << "the duplicate merged by the status rule";
  EXPECT_EQ(list.IndexOfURL("http://b"), 1);
}

}  // namespace
}  // namespace qv
