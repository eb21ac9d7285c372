// What the project benchmarks share: a master list of realistic shape, and
// the peer that moves the same records with plain buffered stdio.
#pragma once

#include <unistd.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "model/vkurllist.h"

namespace qv::bench {

inline double SecondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Records as a crawl leaves them: many hosts, directory trees of varied
// depth, pages and images with link texts, the page each was found on, and
// a mix of statuses, sizes and content types.
inline void FillRealisticList(TVkURLList& list, std::size_t n) {
  std::mt19937_64 rng(42);
  static const char* const kWords[] = {"news",  "images", "docs",   "blog",  "2024",  "archive",
                                       "en",    "static", "assets", "user",  "forum", "topic",
                                       "media", "files",  "pub",    "index", "about", "products"};
  static const char* const kExts[] = {".html", ".htm", ".php", ".gif", ".jpg", ".png", ".css", ""};
  static const char* const kTypes[] = {"text/html", "image/gif", "image/jpeg", "text/css", ""};
  static const char* const kTitles[] = {"Home",       "Next page", "Product details and prices",
                                        "Click here", "",          "Photo of the week"};
  static const std::uint8_t kStatus[] = {usNew,        usNew,    usNew,           usDownloaded,
                                         usDownloaded, usFailed, usInfoRetrieved, usNotAFile};
  while (static_cast<std::size_t>(list.Count()) < n) {
    std::string host = "http://";
    host += (rng() % 3 == 0) ? "www." : "";
    // Appended piece by piece: "literal" + std::string draws a false
    // -Wrestrict from GCC 12. The draws keep the order the compiler gave the
    // expressions this replaced, so the data set stays the same.
    const bool com = rng() % 4 != 0;
    host += "site";
    host += std::to_string(rng() % 3000);
    host += ".example.";
    host += com ? "com" : "org";
    std::string dir;
    const int depth = static_cast<int>(rng() % 5);
    for (int d = 0; d < depth; ++d) {
      dir += '/';
      dir += kWords[rng() % 18];
    }
    const char* ext = kExts[rng() % 8];
    std::string page = "page";
    page += std::to_string(rng() % 100000);
    page += ext;
    TVkURLItem r;
    r.URL = host + dir + "/" + page;
    r.FoundURL = page;
    r.ParentURL = host + dir + "/";
    r.Title = kTitles[rng() % 6];
    r.Status = kStatus[rng() % 8];
    r.ContentType = kTypes[rng() % 5];
    r.Size = static_cast<std::int32_t>(rng() % 200000) - 1;
    r.Details = r.Status == usFailed ? "Not Found (404)" : "";
    r.Checked = rng() % 2;
    r.PageFileFlag = rng() % 4 == 0;
    list.AddItem(r, false);
  }
}

// The records as a plain program would hold them.
struct TPlainRecord {
  std::string URL, Title, Details, ImageURL, ContentType, ParentURL, FoundURL;
  std::int32_t Size = 0;
  std::uint8_t PageFileFlag = 0, Checked = 0, Status = 0;
};

inline std::vector<TPlainRecord> PlainRecords(const TVkURLList& list) {
  std::vector<TPlainRecord> out;
  out.reserve(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) {
    const TVkURLItem& r = *list.GetItem(i);
    out.push_back({r.URL, r.Title, r.Details, r.ImageURL, r.ContentType, r.ParentURL, r.FoundURL,
                   r.Size, r.PageFileFlag, r.Checked, r.Status});
  }
  return out;
}

namespace detail {

inline void PutStr(FILE* f, const std::string& s) {
  const std::int32_t n = static_cast<std::int32_t>(s.size());
  std::fwrite(&n, 4, 1, f);
  std::fwrite(s.data(), 1, s.size(), f);
}

inline std::string GetStr(FILE* f) {
  std::int32_t n = 0;
  if (std::fread(&n, 4, 1, f) != 1 || n < 0) std::abort();
  std::string s(static_cast<std::size_t>(n), '\0');
  if (std::fread(s.data(), 1, s.size(), f) != s.size()) std::abort();
  return s;
}

}  // namespace detail

// Writes the same file as the session: `head` (everything before the list)
// then the records field by field, flushed to disk. Seconds taken.
inline double StdioWrite(const std::string& path, const std::string& head,
                         const std::vector<TPlainRecord>& recs) {
  using detail::PutStr;
  static const char zeros[200] = {};
  const auto t0 = std::chrono::steady_clock::now();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::vector<char> buf(256 * 1024);
  std::setvbuf(f, buf.data(), _IOFBF, buf.size());
  std::fwrite(head.data(), 1, head.size(), f);
  const std::int32_t n = static_cast<std::int32_t>(recs.size());
  std::fwrite(&n, 4, 1, f);
  for (const auto& r : recs) {
    PutStr(f, r.URL);
    std::fputc(r.PageFileFlag, f);
    PutStr(f, r.Title);
    std::fputc(r.Checked, f);
    std::fwrite(&r.Size, 4, 1, f);
    std::fputc(r.Status, f);
    PutStr(f, r.Details);
    std::fputc(0, f);
    PutStr(f, r.ImageURL);
    PutStr(f, r.ContentType);
    PutStr(f, "");
    PutStr(f, r.ParentURL);
    PutStr(f, r.FoundURL);
    std::fputc(0, f);
    std::fwrite(zeros, 1, 15, f);
  }
  std::fwrite(zeros, 1, 200, f);
  std::fflush(f);
  ::fsync(::fileno(f));
  std::fclose(f);
  return SecondsSince(t0);
}

// Reads the records of such a file (from headSize on) into plain structs,
// without checks. Seconds taken.
inline double StdioRead(const std::string& path, std::size_t headSize, std::size_t expected) {
  using detail::GetStr;
  const auto t0 = std::chrono::steady_clock::now();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) std::abort();
  std::vector<char> buf(256 * 1024);
  std::setvbuf(f, buf.data(), _IOFBF, buf.size());
  std::fseek(f, static_cast<long>(headSize), SEEK_SET);
  std::int32_t n = 0;
  if (std::fread(&n, 4, 1, f) != 1) std::abort();
  std::vector<TPlainRecord> recs;
  recs.reserve(static_cast<std::size_t>(n));
  char pad[16];
  for (std::int32_t i = 0; i < n; ++i) {
    TPlainRecord r;
    r.URL = GetStr(f);
    r.PageFileFlag = static_cast<std::uint8_t>(std::fgetc(f));
    r.Title = GetStr(f);
    r.Checked = static_cast<std::uint8_t>(std::fgetc(f));
    if (std::fread(&r.Size, 4, 1, f) != 1) std::abort();
    r.Status = static_cast<std::uint8_t>(std::fgetc(f));
    r.Details = GetStr(f);
    std::fgetc(f);
    r.ImageURL = GetStr(f);
    r.ContentType = GetStr(f);
    GetStr(f);
    r.ParentURL = GetStr(f);
    r.FoundURL = GetStr(f);
    if (std::fread(pad, 1, 16, f) != 16) std::abort();
    recs.push_back(std::move(r));
  }
  std::fclose(f);
  if (recs.size() != expected) std::abort();
  return SecondsSince(t0);
}

}  // namespace qv::bench
