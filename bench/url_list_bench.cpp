// The master URL list at crawl scale: one million distinct URLs of realistic
// shape, added in random and in ascending order, then looked up, each figure
// printed beside the standard container doing the same work in the same run.
//
//   random_add_ratio        list AddItem / std::set<std::string>::insert   (aim <= 3)
//   indexof_ratio           list IndexOfURL / std::set::find               (aim <= 2)
//   ascending_add_ratio     list AddItem, sorted input / vector push_back  (aim <= 1.5)
//   append_add_ratio        list AddItem append mode / vector push_back    (aim <= 1.5)
//   ..._vs_pointer_push_back  the same against a vector of pointers to new
//                           copies, the way a sorted array of records appends
//   memory_per_record_beyond_strings_bytes                                 (aim < 100)
//
// Each timing is the best of several runs. Usage: url_list_bench [records]
#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/vkurllist.h"

namespace {

// Heap accounting: live bytes as the allocator really holds them (usable
// size plus the chunk header), so the memory figure includes its overhead.
long long LiveBytes = 0;

void* Allocate(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  LiveBytes += static_cast<long long>(malloc_usable_size(p)) + 8;
  return p;
}
void Release(void* p) {
  if (!p) return;
  LiveBytes -= static_cast<long long>(malloc_usable_size(p)) + 8;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestMs(int runs, F f) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    best = std::min(best, f());
  }
  return best;
}

double Since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// URLs as a crawl meets them: many hosts, directory trees of varied depth,
// pages, images and the odd query string; some directories end in "/".
std::vector<std::string> MakeURLs(std::size_t n) {
  std::mt19937_64 rng(42);
  static const char* const kWords[] = {"news",  "images", "docs",   "blog",  "2024",  "archive",
                                       "en",    "static", "assets", "user",  "forum", "topic",
                                       "media", "files",  "pub",    "index", "about", "products"};
  static const char* const kExts[] = {".html", ".htm", ".php", ".gif", ".jpg", ".png", ".css", ""};
  std::set<std::string> seen;
  std::vector<std::string> out;
  out.reserve(n);
  while (out.size() < n) {
    std::string u = (rng() % 10 == 0) ? "https://" : "http://";
    u += (rng() % 3 == 0) ? "www." : "";
    u += "site" + std::to_string(rng() % 3000) + ".example." + ((rng() % 4) ? "com" : "org");
    const int depth = static_cast<int>(rng() % 5);
    for (int d = 0; d < depth; ++d) u += "/" + std::string(kWords[rng() % 18]);
    if (rng() % 7 == 0) {
      u += "/";
    } else {
      u += "/page" + std::to_string(rng() % 100000) + kExts[rng() % 8];
      if (rng() % 9 == 0) u += "?id=" + std::to_string(rng() % 1000000);
    }
    if (seen.insert(std::string(qv::URLKeyOf(u))).second) out.push_back(u);
  }
  return out;
}

std::vector<qv::TVkURLItem> MakeRecords(const std::vector<std::string>& urls) {
  std::vector<qv::TVkURLItem> recs;
  recs.reserve(urls.size());
  for (const auto& u : urls) {
    qv::TVkURLItem r;
    r.URL = u;
    r.Size = -1;
    recs.push_back(std::move(r));
  }
  return recs;
}

long long StringHeap(const std::string& s) {
  // Strings past the small-string buffer own a heap block.
  if (s.capacity() <= 15) return 0;
  return static_cast<long long>(malloc_usable_size(const_cast<char*>(s.data()))) + 8;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const int runs = 3;
  qv::SetLocalWebDir("/nonexistent/qv-bench-mirror");

  std::vector<std::string> urls = MakeURLs(n);
  std::mt19937_64 rng(7);
  std::vector<std::string> randomOrder = urls;
  std::shuffle(randomOrder.begin(), randomOrder.end(), rng);
  std::vector<std::string> sorted = urls;
  std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
    return qv::URLKeyOf(a) < qv::URLKeyOf(b);
  });
  std::vector<std::string> probes = urls;
  std::shuffle(probes.begin(), probes.end(), rng);
  const std::vector<qv::TVkURLItem> randomRecs = MakeRecords(randomOrder);
  const std::vector<qv::TVkURLItem> sortedRecs = MakeRecords(sorted);
  std::vector<std::string> sortedKeys;  // what std::set holds
  for (const auto& u : sorted) sortedKeys.emplace_back(qv::URLKeyOf(u));
  std::vector<std::string> randomKeys;
  for (const auto& u : randomOrder) randomKeys.emplace_back(qv::URLKeyOf(u));

  long long sink = 0;

  // Random order.
  const double setInsert = BestMs(runs, [&] {
    std::set<std::string, std::less<>> s;
    const auto t0 = Clock::now();
    for (const auto& k : randomKeys) s.insert(k);
    const double ms = Since(t0);
    sink += static_cast<long long>(s.size());
    return ms;
  });
  const double listAdd = BestMs(runs, [&] {
    qv::TVkURLList list;
    const auto t0 = Clock::now();
    for (const auto& r : randomRecs) list.AddItem(r, false);
    const double ms = Since(t0);
    sink += list.Count();
    return ms;
  });

  // Lookups of every key, in an order unrelated to either insertion.
  std::set<std::string, std::less<>> set;
  for (const auto& k : randomKeys) set.insert(k);
  const long long before = LiveBytes;
  auto* list = new qv::TVkURLList;
  for (const auto& r : randomRecs) list->AddItem(r, false);
  const long long listBytes = LiveBytes - before;

  const double setFind = BestMs(runs, [&] {
    const auto t0 = Clock::now();
    for (const auto& p : probes) sink += set.find(qv::URLKeyOf(p)) != set.end();
    return Since(t0);
  });
  const double listFind = BestMs(runs, [&] {
    const auto t0 = Clock::now();
    for (const auto& p : probes) sink += list->IndexOfURL(p);
    return Since(t0);
  });

  // Memory beyond the strings: everything the list holds, less the string
  // objects inside each record and the heap blocks of their texts.
  long long stringBytes = 0;
  for (int i = 0; i < list->Count(); ++i) {
    const qv::TVkURLItem& r = *list->GetItem(i);
    for (const std::string* s :
         {&r.URL, &r.FoundURL, &r.ParentURL, &r.Details, &r.ContentType, &r.Title, &r.ImageURL})
      stringBytes += static_cast<long long>(sizeof(std::string)) + StringHeap(*s);
  }
  const double perRecordBeyondStrings =
      static_cast<double>(listBytes - stringBytes) / static_cast<double>(list->Count());
  const double indexPerRecord =
      static_cast<double>(list->IndexMemoryUsed()) / static_cast<double>(list->Count());
  delete list;
  set.clear();

  // Ascending order: the list against a vector of the same records. The
  // four are interleaved run by run, each after the heap is trimmed, so that
  // each meets the allocator in the same state (a freed million records
  // otherwise leaves it fragmented for whoever comes next).
  double vectorPush = 1e300, listAscending = 1e300, listAppend = 1e300, pointerPush = 1e300;
  for (int r = 0; r < runs; ++r) {
    malloc_trim(0);
    {
      // The sorted array's own way of appending: a pointer to a new copy.
      std::vector<qv::TVkURLItem*> v;
      const auto t0 = Clock::now();
      for (const auto& rec : sortedRecs) v.push_back(new qv::TVkURLItem(rec));
      pointerPush = std::min(pointerPush, Since(t0));
      sink += static_cast<long long>(v.size());
      for (auto* p : v) delete p;
    }
    malloc_trim(0);
    {
      qv::TVkURLList l;
      const auto t0 = Clock::now();
      for (const auto& rec : sortedRecs) l.AddItem(rec, false);
      listAscending = std::min(listAscending, Since(t0));
      sink += l.Count();
    }
    malloc_trim(0);
    {
      qv::TVkURLList l;
      const auto t0 = Clock::now();
      for (const auto& rec : sortedRecs) l.AddItem(rec, true);
      listAppend = std::min(listAppend, Since(t0));
      sink += l.Count();
    }
    malloc_trim(0);
    {
      std::vector<qv::TVkURLItem> v;
      const auto t0 = Clock::now();
      for (const auto& rec : sortedRecs) v.push_back(rec);
      vectorPush = std::min(vectorPush, Since(t0));
      sink += static_cast<long long>(v.size());
    }
  }

  std::printf("records: %zu\n", n);
  std::printf("set_insert_random_ms: %.1f\n", setInsert);
  std::printf("list_add_random_ms: %.1f\n", listAdd);
  std::printf("random_add_ratio: %.2f\n", listAdd / setInsert);
  std::printf("set_find_ms: %.1f\n", setFind);
  std::printf("list_indexof_ms: %.1f\n", listFind);
  std::printf("indexof_ratio: %.2f\n", listFind / setFind);
  std::printf("vector_push_back_ms: %.1f\n", vectorPush);
  std::printf("vector_push_back_new_pointer_ms: %.1f\n", pointerPush);
  std::printf("list_add_ascending_ms: %.1f\n", listAscending);
  std::printf("ascending_add_ratio: %.2f\n", listAscending / vectorPush);
  std::printf("list_add_append_ms: %.1f\n", listAppend);
  std::printf("append_add_ratio: %.2f\n", listAppend / vectorPush);
  std::printf("ascending_add_ratio_vs_pointer_push_back: %.2f\n", listAscending / pointerPush);
  std::printf("append_add_ratio_vs_pointer_push_back: %.2f\n", listAppend / pointerPush);
  std::printf("index_bytes_per_record: %.1f\n", indexPerRecord);
  std::printf("record_object_bytes: %zu\n", sizeof(qv::TVkURLItem));
  std::printf("memory_per_record_beyond_strings_bytes: %.1f\n", perRecordBeyondStrings);
  std::fprintf(stderr, "(checksum %lld)\n", sink);
  return 0;
}
