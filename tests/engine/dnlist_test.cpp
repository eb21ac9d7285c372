#include "engine/dnlist.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

TDNItem Host(const std::string& host, uint8_t state = dnUnknown) {
  TDNItem i;
  i.Host = host;
  i.State = state;
  return i;
}

std::vector<std::string> Hosts(const TDNList& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.Count(); ++i) out.push_back(l.GetItem(i)->Host);
  return out;
}

TEST(DNListTest, SearchGivesIndexOrComplementOfInsertionPoint) {
  TDNList l;
  EXPECT_EQ(l.Search("a"), -1);
  for (const char* h : {"m", "c", "x", "a"}) l.AddOrMerge(Host(h), false);
  ASSERT_EQ(Hosts(l), (std::vector<std::string>{"a", "c", "m", "x"}));
  struct {
    const char* host;
    int want;
  } cases[] = {
      {"a", 0},  {"c", 1},  {"m", 2},  {"x", 3},              // present
      {"0", ~0}, {"b", ~1}, {"d", ~2}, {"n", ~3}, {"y", ~4},  // absent
      {"A", ~0},  // hosts differing in case are different hosts
  };
  for (const auto& c : cases) EXPECT_EQ(l.Search(c.host), c.want) << c.host;
  EXPECT_EQ(l.LockedSearch("m"), 2);
}

TEST(DNListTest, AfterLastEntryIsComplementOfCount) {
  TDNList l;
  l.AddOrMerge(Host("a"), false);
  l.AddOrMerge(Host("b"), false);
  EXPECT_EQ(l.Search("c"), -3);
}

TEST(DNListTest, CaseVariantsAreTwoEntries) {
  TDNList l;
  l.FindOrAdd("www.example.com")->SetState(dnNotFound);
  l.FindOrAdd("WWW.example.com");
  EXPECT_EQ(l.Count(), 2);
  EXPECT_TRUE(l.IsNotFound("www.example.com"));
  EXPECT_FALSE(l.IsNotFound("WWW.example.com"));
}

TEST(DNListTest, StateRules) {
  TDNList l;
  TDNItem* dead = l.FindOrAdd("dead:8080");
  TDNItem* live = l.FindOrAdd("live");
  EXPECT_EQ(l.FindState("dead:8080"), dnUnknown);
  EXPECT_FALSE(l.FindState("other").has_value());

  dead->SetState(dnNotFound);
  live->SetState(dnReached);
  live->SetState(dnNotFound);  // reached stays reached
  EXPECT_EQ(live->State, dnReached);

  // Looking a dead host up again keeps it dead.
  EXPECT_EQ(l.FindOrAdd("dead:8080"), dead);
  EXPECT_TRUE(l.IsNotFound("dead:8080"));
  EXPECT_EQ(l.Count(), 2);

  dead->Number = 7;
  live->Number = 9;
  l.ResetStates();
  EXPECT_EQ(dead->State, dnUnknown);
  EXPECT_EQ(live->State, dnReached);
  EXPECT_EQ(dead->Number, 0);
  EXPECT_EQ(live->Number, 0);
  EXPECT_FALSE(l.IsNotFound("dead:8080"));
}

TEST(DNListTest, MergeKeepsWhatTheNewItemLeavesEmpty) {
  TDNList l;
  TDNItem first = Host("h", dnNotFound);
  first.Text1 = "one";
  first.Text2 = "two";
  first.Number = 5;
  l.AddOrMerge(first, false);

  TDNItem second = Host("h");  // state 0, empty texts, number 0
  second.Text2 = "new";
  EXPECT_EQ(l.AddOrMerge(second, false), 0);
  const TDNItem* e = l.GetItem(0);
  EXPECT_EQ(e->State, dnNotFound);
  EXPECT_EQ(e->Text1, "one");
  EXPECT_EQ(e->Text2, "new");
  EXPECT_EQ(e->Number, 5);

  TDNItem third = Host("h", dnReached);
  third.Number = -3;  // not greater than 0: ignored
  l.AddOrMerge(third, false);
  EXPECT_EQ(e->State, dnReached);
  EXPECT_EQ(e->Number, 5);
}

TEST(DNListTest, AppendSkipsTheSearchAndDeleteIgnoresBadIndex) {
  TDNList l;
  EXPECT_EQ(l.AddOrMerge(Host("b"), true), 0);
  EXPECT_EQ(l.AddOrMerge(Host("a"), true), 1);
  EXPECT_EQ(Hosts(l), (std::vector<std::string>{"b", "a"}));
  l.DeleteItem(5);
  l.DeleteItem(-1);
  EXPECT_EQ(l.GetItem(2), nullptr);
  l.DeleteItem(0);
  EXPECT_EQ(Hosts(l), (std::vector<std::string>{"a"}));
  l.ClearItems();
  EXPECT_EQ(l.Count(), 0);
}

// Workers look hosts up and record outcomes concurrently (run under TSan).
TEST(DNListTest, ConcurrentWorkersKeepOneSortedEntryPerHost) {
  TDNList l;
  std::vector<std::thread> ts;
  for (int t = 0; t < 6; ++t) {
    ts.emplace_back([&l, t] {
      for (int i = 0; i < 300; ++i) {
        const std::string h = "h" + std::to_string((i * 7 + t) % 50);
        TDNItem* e = l.FindOrAdd(h);
        e->SetState((i + t) % 3 == 0 ? dnNotFound : dnReached);
        (void)l.IsNotFound(h);
        if (i % 100 == 0) l.ResetStates();
      }
    });
  }
  for (auto& t : ts) t.join();
  ASSERT_EQ(l.Count(), 50);
  for (int i = 1; i < l.Count(); ++i) EXPECT_LT(l.GetItem(i - 1)->Host, l.GetItem(i)->Host);
}

}  // namespace
}  // namespace qv
