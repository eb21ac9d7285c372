// A mirror project of one million URLs of realistic shape, saved and loaded
// through the project session, each beside plain buffered stdio moving the
// same bytes in the same run (both writers flush to disk before they count
// as done).
//
//   save_seconds, load_seconds            the session's save and load
//   stdio_write_seconds, stdio_read_seconds  the same records written and read
//                                         field by field with buffered stdio into
//                                         a vector of plain structs, no checks
//   save_ratio, load_ratio                session / stdio records         (aim <= 2)
//   bulk_write_seconds, bulk_read_seconds fwrite / fread of the file in 64 KiB pieces
//   save_vs_bulk_ratio, load_vs_bulk_ratio  session / bulk (the raw I/O floor)
//   file_bytes, file_bytes_per_url
//   heap_bytes_per_url_after_load         heap in use after the load, less before
//   rss_bytes_per_url_after_load          resident memory, likewise
//
// Each timing is the best of three runs. Usage: projectfile_bench [urls] [folder]
#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model/projectfile.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

long long HeapInUse() { return static_cast<long long>(mallinfo2().uordblks); }

long long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  return 0;
}

// Records as a crawl leaves them: many hosts, directory trees of varied
// depth, pages and images with link texts, the page each was found on, and
// a mix of statuses, sizes and content types.
void FillList(qv::TVkURLList& list, std::size_t n) {
  std::mt19937_64 rng(42);
  static const char* const kWords[] = {"news",  "images", "docs",   "blog",  "2024",  "archive",
                                       "en",    "static", "assets", "user",  "forum", "topic",
                                       "media", "files",  "pub",    "index", "about", "products"};
  static const char* const kExts[] = {".html", ".htm", ".php", ".gif", ".jpg", ".png", ".css", ""};
  static const char* const kTypes[] = {"text/html", "image/gif", "image/jpeg", "text/css", ""};
  static const char* const kTitles[] = {"Home",       "Next page", "Product details and prices",
                                        "Click here", "",          "Photo of the week"};
  static const std::uint8_t kStatus[] = {10, 10, 10, 50, 50, 30, 40, 60};
  while (static_cast<std::size_t>(list.Count()) < n) {
    std::string host = "http://";
    host += (rng() % 3 == 0) ? "www." : "";
    host += "site" + std::to_string(rng() % 3000) + ".example." + ((rng() % 4) ? "com" : "org");
    std::string dir;
    const int depth = static_cast<int>(rng() % 5);
    for (int d = 0; d < depth; ++d) dir += "/" + std::string(kWords[rng() % 18]);
    const std::string page = "page" + std::to_string(rng() % 100000) + kExts[rng() % 8];
    qv::TVkURLItem r;
    r.URL = host + dir + "/" + page;
    r.FoundURL = page;
    r.ParentURL = host + dir + "/";
    r.Title = kTitles[rng() % 6];
    r.Status = kStatus[rng() % 8];
    r.ContentType = kTypes[rng() % 5];
    r.Size = static_cast<std::int32_t>(rng() % 200000) - 1;
    r.Details = r.Status == 30 ? "Not Found (404)" : "";
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

std::vector<TPlainRecord> PlainRecords(const qv::TVkURLList& list) {
  std::vector<TPlainRecord> out;
  out.reserve(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) {
    const qv::TVkURLItem& r = *list.GetItem(i);
    out.push_back({r.URL, r.Title, r.Details, r.ImageURL, r.ContentType, r.ParentURL, r.FoundURL,
                   r.Size, r.PageFileFlag, r.Checked, r.Status});
  }
  return out;
}

void PutStr(FILE* f, const std::string& s) {
  const std::int32_t n = static_cast<std::int32_t>(s.size());
  std::fwrite(&n, 4, 1, f);
  std::fwrite(s.data(), 1, s.size(), f);
}

std::string GetStr(FILE* f) {
  std::int32_t n = 0;
  if (std::fread(&n, 4, 1, f) != 1 || n < 0) std::abort();
  std::string s(static_cast<std::size_t>(n), '\0');
  if (std::fread(s.data(), 1, s.size(), f) != s.size()) std::abort();
  return s;
}

// Writes the same file as the session: `head` (everything before the list)
// then the records field by field.
double StdioWrite(const std::string& path, const std::string& head,
                  const std::vector<TPlainRecord>& recs) {
  static const char zeros[200] = {};
  const auto t0 = Clock::now();
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
  return Since(t0);
}

double StdioRead(const std::string& path, std::size_t headSize, std::size_t expected) {
  const auto t0 = Clock::now();
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
  return Since(t0);
}

double PlainWrite(const std::string& path, const std::string& bytes) {
  const auto t0 = Clock::now();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  for (std::size_t at = 0; at < bytes.size(); at += 65536)
    std::fwrite(bytes.data() + at, 1, std::min<std::size_t>(65536, bytes.size() - at), f);
  std::fflush(f);
  ::fsync(::fileno(f));
  std::fclose(f);
  return Since(t0);
}

// True when the file does not hold exactly these bytes.
bool DiffersFrom(const std::string& path, const std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return got != bytes;
}

double PlainRead(const std::string& path, std::size_t expected) {
  const auto t0 = Clock::now();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) std::abort();
  std::vector<char> buf(65536);
  std::size_t total = 0;
  for (std::size_t got; (got = std::fread(buf.data(), 1, buf.size(), f)) > 0;) total += got;
  std::fclose(f);
  if (total != expected) std::abort();
  return Since(t0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const std::string file = folder + "/qv-bench-project.mpj";
  const std::string plain = folder + "/qv-bench-plain.bin";
  qv::SetLocalWebDir("/nonexistent/qv-bench-mirror");

  qv::TPlainProjectView view;
  view.Values.Settings = qv::FormDefaults();
  view.Values.Settings.LocWebEd = "/nonexistent/qv-bench-mirror";
  view.Values.RootURLs = {{"http://www.example.com/", 1 | (3 << 8)}};
  TScriptedPrompter prompter;
  qv::TCriticalSection lock;
  const int runs = 3;

  double save = 1e300, load = 1e300, plainWrite = 1e300, plainRead = 1e300;
  double stdioWrite = 1e300, stdioRead = 1e300;
  long long heapPerURL = 0, rssPerURL = 0;
  std::string bytes;
  std::size_t headSize = 0;
  {
    qv::TVkURLList list;
    FillList(list, n);
    qv::TProjectSession session(view, prompter, list, lock);
    for (int r = 0; r < runs; ++r) {
      const auto t0 = Clock::now();
      session.SaveMirrorProject(file);
      save = std::min(save, Since(t0));
    }
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    qv::TVkURLList none;
    qv::TMemoryStream head;
    qv::WriteMirrorProject(head, view.Values, none);
    headSize = head.Data().size() - 4 - 200;  // less the empty list
    const std::vector<TPlainRecord> recs = PlainRecords(list);
    for (int r = 0; r < runs; ++r)
      stdioWrite = std::min(stdioWrite, StdioWrite(plain, head.Data().substr(0, headSize), recs));
  }
  if (DiffersFrom(plain, bytes)) std::abort();
  for (int r = 0; r < runs; ++r) stdioRead = std::min(stdioRead, StdioRead(plain, headSize, n));
  for (int r = 0; r < runs; ++r) {
    plainWrite = std::min(plainWrite, PlainWrite(plain, bytes));
    plainRead = std::min(plainRead, PlainRead(plain, bytes.size()));
  }
  const std::size_t fileBytes = bytes.size();
  std::string().swap(bytes);
  std::remove(plain.c_str());

  for (int r = 0; r < runs; ++r) {
    qv::TVkURLList list;
    qv::TProjectSession session(view, prompter, list, lock);
    malloc_trim(0);
    const long long heap0 = HeapInUse();
    const long long rss0 = ResidentBytes();
    const auto t0 = Clock::now();
    session.LoadMirrorProject(file);
    load = std::min(load, Since(t0));
    if (static_cast<std::size_t>(list.Count()) != n) std::abort();
    heapPerURL = (HeapInUse() - heap0) / static_cast<long long>(n);
    rssPerURL = (ResidentBytes() - rss0) / static_cast<long long>(n);
  }
  std::remove(file.c_str());

  std::printf("urls: %zu\n", n);
  std::printf("file_bytes: %zu\n", fileBytes);
  std::printf("file_bytes_per_url: %.1f\n", static_cast<double>(fileBytes) / n);
  std::printf("save_seconds: %.3f\n", save);
  std::printf("stdio_write_seconds: %.3f\n", stdioWrite);
  std::printf("save_ratio: %.2f\n", save / stdioWrite);
  std::printf("bulk_write_seconds: %.3f\n", plainWrite);
  std::printf("save_vs_bulk_ratio: %.2f\n", save / plainWrite);
  std::printf("load_seconds: %.3f\n", load);
  std::printf("stdio_read_seconds: %.3f\n", stdioRead);
  std::printf("load_ratio: %.2f\n", load / stdioRead);
  std::printf("bulk_read_seconds: %.3f\n", plainRead);
  std::printf("load_vs_bulk_ratio: %.2f\n", load / plainRead);
  std::printf("heap_bytes_per_url_after_load: %lld\n", heapPerURL);
  std::printf("rss_bytes_per_url_after_load: %lld\n", rssPerURL);
  return 0;
}
