#include "engine/dllist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "model/uriparser.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qv {
namespace {

TActiveDL Item(const std::string& url, int depth = 0) {
  TActiveDL a;
  a.URL = url;
  a.Depth = depth;
  return a;
}

std::vector<std::string> URLs(const TDLList& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.Count(); ++i) out.push_back(l.Item(i).URL);
  return out;
}

TDLList Sorted(std::initializer_list<const char*> urls) {
  TDLList l;
  for (const char* u : urls) l.Add(Item(u), false);
  return l;
}

TEST(DLListTest, IndexOfURLFindsOrGivesComplementOfInsertionPoint) {
  EXPECT_EQ(TDLList().IndexOfURL("http://a/"), ~0);
  TDLList l = Sorted({"http://c/", "http://a/", "http://e/", "http://b/"});
  ASSERT_EQ(URLs(l),
            (std::vector<std::string>{"http://a/", "http://b/", "http://c/", "http://e/"}));
  struct {
    const char* url;
    int want;
  } cases[] = {
      {"http://a/", 0},
      {"http://c/", 2},
      {"http://e/", 3},
      {"http://0/", ~0},
      {"http://d/", ~3},
      {"http://f/", ~4},
      {"HTTP://a/", ~0},     // case-sensitive: capitals sort
                             // first
      {"http://\xe9/", ~4},  // bytes compare unsigned: 0xE9 after every ASCII letter
  };
  for (const auto& c : cases) EXPECT_EQ(l.IndexOfURL(c.url), c.want) << c.url;
}

TEST(DLListTest, AddReplacesWholeItemOnlyWhenDeeper) {
  TDLList l;
  TActiveDL queued = Item("http://x/p", 2);
  queued.ParentURL = "http://x/old";
  queued.SiteMode = 1;
  queued.RetriesLeft = 1;
  queued.KnownSize = 10;
  l.Add(queued, false);

  TActiveDL same = Item("http://x/p", 2);
  same.ParentURL = "http://x/same";
  EXPECT_EQ(l.Add(same, false), 0);
  EXPECT_EQ(l.Item(0).ParentURL, "http://x/old");

  TActiveDL deeper = Item("http://x/p", 3);
  deeper.ParentURL = "http://x/new";
  deeper.ClientText = "127.0.0.1";
  deeper.Origin = 1;
  deeper.SiteMode = 2;
  deeper.RetriesLeft = 4;
  deeper.SiteBase = "http://x/";
  deeper.BaseURL = "http://x/base";
  deeper.KnownSize = 0;
  EXPECT_EQ(l.Add(deeper, false), 0);
  ASSERT_EQ(l.Count(), 1);
  const TActiveDL& got = l.Item(0);
  EXPECT_EQ(got.ParentURL, "http://x/new");
  EXPECT_EQ(got.ClientText, "127.0.0.1");
  EXPECT_EQ(got.Origin, 1);
  EXPECT_EQ(got.SiteMode, 2);
  EXPECT_EQ(got.Depth, 3);
  EXPECT_EQ(got.RetriesLeft, 4);
  EXPECT_EQ(got.SiteBase, "http://x/");
  EXPECT_EQ(got.BaseURL, "http://x/base");
  EXPECT_EQ(got.KnownSize, 0);
}

TEST(DLListTest, AppendModeKeepsInputOrderAndDuplicates) {
  TDLList l;
  EXPECT_EQ(l.Add(Item("http://b/"), true), 0);
  EXPECT_EQ(l.Add(Item("http://a/"), true), 1);
  EXPECT_EQ(l.Add(Item("http://a/"), true), 2);
  EXPECT_EQ(URLs(l), (std::vector<std::string>{"http://b/", "http://a/", "http://a/"}));
}

TEST(DLListTest, MergeRetryListIntoEmptyQueueSortsIt) {
  TDLList retry;
  retry.Add(Item("http://z/", 1), true);
  retry.Add(Item("http://m/", 1), true);
  retry.Add(Item("http://a/", 1), true);
  retry.Add(Item("http://m/", 5), true);
  TDLList queue;
  queue.Merge(retry);
  EXPECT_EQ(URLs(queue), (std::vector<std::string>{"http://a/", "http://m/", "http://z/"}));
  EXPECT_EQ(queue.Item(1).Depth, 5);
  queue.Merge(queue);
  EXPECT_EQ(queue.Count(), 3);
}

TEST(DLListTest, DeleteOutOfRangeRaisesAndKeepsTheList) {
  TDLList l = Sorted({"http://a/", "http://b/"});
  EXPECT_THROW(l.Delete(2), std::out_of_range);
  EXPECT_THROW(l.Delete(-1), std::out_of_range);
  EXPECT_EQ(l.Count(), 2);
  l.Delete(0);
  EXPECT_EQ(URLs(l), (std::vector<std::string>{"http://b/"}));
}

TEST(DLListTest, NextHostRunStepsOverSameSiteItems) {
  TDLList l = Sorted({"http://a.example/1", "http://a.example/2", "http://a.example:81/",
                      "http://b.example/", "http://b.example/x"});
  // a.example:81 begins with "http://a.example": a plain prefix, so same run.
  EXPECT_EQ(l.NextHostRun(0), 3);
  EXPECT_EQ(l.NextHostRun(2), 3);
  EXPECT_EQ(l.NextHostRun(3), 5);
  EXPECT_EQ(l.NextHostRun(4), 5);  // last index gives the count
}

TEST(DLListTest, CapitalSchemeFormsARunOfItsOwn) {
  TDLList l;
  l.Add(Item("HTTP://a/1"), true);
  l.Add(Item("HTTP://a/2"), true);
  EXPECT_EQ(l.NextHostRun(0), 1);
}

TEST(DLListTest, IndexOfHost) {
  TDLList l = Sorted({"ftp://f/x", "http://a/1", "http://ab/2", "http://c/3"});
  EXPECT_EQ(l.IndexOfHost(""), -1);
  EXPECT_LT(TDLList().IndexOfHost("http://a/"), 0);
  struct {
    const char* url;
    bool found;
    std::vector<int> allowed;
  } cases[] = {
      {"http://c/zzz", true, {3}},       // last item: fast path
      {"http://a/other", true, {1, 2}},  // "http://ab/2" also begins with "http://a"
      {"http://ab/", true, {2}},        {"ftp://f/", true, {0}},
      {"http://b/", false, {}},         {"http://d/", false, {}},  // after the last item
      {"gopher://x/", false, {}},
  };
  for (const auto& c : cases) {
    const int i = l.IndexOfHost(c.url);
    if (!c.found) {
      EXPECT_LT(i, 0) << c.url;
      continue;
    }
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), i), c.allowed.end())
        << c.url << " -> " << i;
  }
}

// Enough items for many blocks, with additions, deletions and copies at every
// place, against a plain sorted vector.
TEST(DLListTest, ManyBlocksAgainstAPlainVector) {
  TDLList l;
  std::vector<std::string> ref;
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int step = 0; step < 20000; ++step) {
    const uint32_t r = next();
    if (ref.empty() || r % 3 != 0) {
      TActiveDL d;
      d.URL = "http://h" + std::to_string(r % 37) + "/" + std::to_string(next() % 5000);
      l.Add(d, false);
      auto it = std::lower_bound(ref.begin(), ref.end(), d.URL);
      if (it == ref.end() || *it != d.URL) ref.insert(it, d.URL);
    } else {
      const int i = static_cast<int>(next() % ref.size());
      l.Delete(i);
      ref.erase(ref.begin() + i);
    }
  }
  ASSERT_EQ(l.Count(), static_cast<int>(ref.size()));
  ASSERT_GT(l.Count(), 2000);
  for (int i = 0; i < l.Count(); ++i) ASSERT_EQ(l.Item(i).URL, ref[i]) << i;
  for (int i = 0; i < l.Count(); i += 97) EXPECT_EQ(l.IndexOfURL(ref[i]), i);
  // Host runs: every run boundary found by the plain prefix scan.
  for (int i = 0; i < l.Count(); i = l.NextHostRun(i)) {
    const std::string site = URLSite(ref[i]);
    int j = i + 1;
    while (j < l.Count() && ref[j].compare(0, site.size(), site) == 0) ++j;
    ASSERT_EQ(l.NextHostRun(i), j) << ref[i];
  }
  std::vector<int> starts;
  l.ForEachHostRun([&](const TActiveDL& d, int index, const std::string& site) {
    EXPECT_EQ(d.URL, ref[index]);
    EXPECT_EQ(site, URLSite(ref[index]));
    starts.push_back(index);
    return true;
  });
  std::vector<int> want;
  for (int i = 0; i < l.Count(); i = l.NextHostRun(i)) want.push_back(i);
  EXPECT_EQ(starts, want);
  TDLList copy(l);
  l.Clear();
  EXPECT_EQ(copy.Count(), static_cast<int>(ref.size()));
  EXPECT_EQ(copy.Item(copy.Count() - 1).URL, ref.back());
  EXPECT_THROW(copy.Item(copy.Count()), std::out_of_range);
  EXPECT_THROW(copy.Delete(-1), std::out_of_range);
  const std::string first = copy.Item(0).URL;
  const int before = copy.Count();
  EXPECT_EQ(copy.Take(0).URL, first);
  EXPECT_EQ(copy.Count(), before - 1);
  EXPECT_THROW(copy.Take(copy.Count()), std::out_of_range);
}

// A queue built by appending, then drained from its front as picks do, with
// additions and deletions between: the blocks leaving the front and the
// index over them stay in step with a plain vector.
TEST(DLListTest, DrainFromTheFrontAgainstAPlainVector) {
  TDLList l;
  std::vector<std::string> ref;
  for (int i = 0; i < 3000; ++i) {
    char url[40];
    std::snprintf(url, sizeof url, "http://h/%06d", i * 2);
    TActiveDL d;
    d.URL = url;
    l.Add(d, true);
    ref.push_back(url);
  }
  uint32_t seed = 777;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  while (!ref.empty()) {
    const uint32_t r = next() % 10;
    if (r < 7) {
      ASSERT_EQ(l.Take(0).URL, ref.front());
      ref.erase(ref.begin());
    } else if (r < 9) {
      char url[40];
      std::snprintf(url, sizeof url, "http://h/%06d", static_cast<int>(next() % 6000) | 1);
      TActiveDL d;
      d.URL = url;
      l.Add(d, false);
      auto it = std::lower_bound(ref.begin(), ref.end(), d.URL);
      if (it == ref.end() || *it != d.URL) ref.insert(it, d.URL);
    } else {
      const int i = static_cast<int>(next() % ref.size());
      l.Delete(i);
      ref.erase(ref.begin() + i);
    }
    ASSERT_EQ(l.Count(), static_cast<int>(ref.size()));
    if (ref.empty()) break;
    const int probe = static_cast<int>(next() % ref.size());
    ASSERT_EQ(l.Item(probe).URL, ref[probe]);
    ASSERT_EQ(l.IndexOfURL(ref[probe]), probe);
    ASSERT_EQ(l.Item(static_cast<int>(ref.size()) - 1).URL, ref.back());
    if (ref.size() % 251 == 0) {
      TDLList copy(l);
      for (size_t i = 0; i < ref.size(); i += 7)
        ASSERT_EQ(copy.Item(static_cast<int>(i)).URL, ref[i]);
    }
  }
  EXPECT_THROW(l.Take(0), std::out_of_range);
}

}  // namespace
}  // namespace qv
