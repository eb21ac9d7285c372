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
#include <string>
#include <vector>

#include "model/projectfile.h"
#include "urlshapes.h"

namespace {

using Clock = std::chrono::steady_clock;
using qv::bench::FillRealisticList;
using qv::bench::PlainRecords;
using qv::bench::StdioRead;
using qv::bench::StdioWrite;
using qv::bench::TPlainRecord;

double Since(Clock::time_point t0) { return qv::bench::SecondsSince(t0); }

long long HeapInUse() { return static_cast<long long>(mallinfo2().uordblks); }

long long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  return 0;
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
  qv::TProjectValues values;
  values.Settings = qv::FormDefaults();
  values.Settings.LocWebEd = "/nonexistent/qv-bench-mirror";
  values.RootURLs = {{"http://www.example.com/", 1 | (3 << 8)}};
  qv::GlobalSettings().Publish(values.Settings);
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
    FillRealisticList(list, n);
    qv::TProjectSession session(view, prompter, list, lock);
    session.RootURLs() = values.RootURLs;
    for (int r = 0; r < runs; ++r) {
      const auto t0 = Clock::now();
      session.SaveMirrorProject(file);
      save = std::min(save, Since(t0));
    }
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    qv::TVkURLList none;
    qv::TMemoryStream head;
    qv::WriteMirrorProject(head, values, none);
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
