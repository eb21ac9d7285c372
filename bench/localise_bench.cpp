// The whole localising pass over the master list on a generated mirror of a
// site, against storing that mirror (the disk half of the download job that
// made it, the network left out) and against reading and writing every page
// back unchanged (the floor of any rewrite), measured in the same run.
//
//   localise_bench [pages, default 5000] [repeats, default 3]
//
// Prints "name: value" lines: pages per second and MB/s of the pass (best of
// the repeats, each on a freshly stored mirror), of a second pass over the
// localised mirror, of the pass with every page looking its targets up again
// (as before lookups were shared), of storing and of the copy floor, and the
// ratios.

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/cssparser.h"
#include "engine/htmlparser.h"
#include "engine/localisepass.h"
#include "model/progresssink.h"
#include "model/streamext.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TBody {
  std::string URL, Ext, Type, Bytes;
};

class TGen {
 public:
  explicit TGen(unsigned seed) : Rng(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(Rng); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  std::string Words(int lo, int hi) {
    static const char* const words[] = {"the",     "archive", "of",      "local",    "news",
                                        "events",  "region",  "photos",  "council",  "library",
                                        "weather", "market",  "results", "project",  "museum",
                                        "history", "bridge",  "school",  "concert",  "schedule",
                                        "summer",  "program", "tickets", "brochure", "contact"};
    std::string s;
    for (int i = Int(lo, hi); i > 0; --i) {
      s += words[Int(0, 24)];
      if (i > 1) s += ' ';
    }
    return s;
  }
  std::mt19937 Rng;
};

constexpr const char* kHost = "http://www.bench.test";
constexpr int kPerSection = 100;

std::string PageURL(int n) {
  return std::string(kHost) + "/s" + std::to_string(n / kPerSection) + "/p" +
         std::to_string(n % kPerSection) + ".html";
}

// A site of `pages` pages in sections of 100, each section with its own index
// (directory form), pictures and style sheet, and one site style sheet.
// Pages carry the marker of the address they had, as the download stores them.
std::vector<TBody> MakeSite(int pages) {
  TGen g(16);
  std::vector<TBody> site;
  const int sections = (pages + kPerSection - 1) / kPerSection;
  for (int n = 0; n < pages; ++n) {
    const int s = n / kPerSection;
    std::string p =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
        g.Words(3, 8) + "</title>\n";
    p += "<link rel=\"stylesheet\" href=\"/css/site.css\">\n<link rel=\"stylesheet\" "
         "href=\"sec.css\">\n";
    p += "<script src=\"/js/app.js\"></script>\n</head>\n<body>\n<nav><ul>\n";
    for (int i = 0; i < std::min(sections, 30); ++i)
      p += "<li><a href=\"../s" + std::to_string((s + i) % sections) + "/\">" + g.Words(1, 2) +
           "</a></li>\n";
    p += "</ul></nav>\n<main>\n";
    while (p.size() < 12000) {
      switch (g.Int(0, 5)) {
        case 0:
        case 1: {
          p += "<p>" + g.Words(10, 30);
          for (int i = g.Int(1, 3); i > 0; --i) {
            const int to = g.Int(0, kPerSection - 1);
            std::string href = "p" + std::to_string(to) + ".html";
            if (g.Chance(20)) href += "#sec" + std::to_string(g.Int(1, 5));
            if (g.Chance(5)) href = "https://www.example.org/ext/" + std::to_string(to) + ".html";
            if (g.Chance(5)) href = "missing-" + std::to_string(to) + ".html";
            p += " <a href=\"" + href + "\">" + g.Words(1, 4) + "</a> " + g.Words(3, 12);
          }
          p += ".</p>\n";
          break;
        }
        case 2:
          p += "<figure><img src=\"pic" + std::to_string(g.Int(0, 19)) + ".jpg\" alt=\"" +
               g.Words(2, 5) + "\" width=\"640\" height=\"480\"><figcaption>" + g.Words(3, 9) +
               "</figcaption></figure>\n";
          break;
        case 3:
          p += "<table><tr><td><a href=\"/s" + std::to_string(g.Int(0, sections - 1)) + "/p" +
               std::to_string(g.Int(0, kPerSection - 1)) + ".html\">" + g.Words(2, 4) +
               "</a></td><td>" + g.Words(2, 6) + "</td></tr></table>\n";
          break;
        default:
          p += "<div class=\"card\"><h2>" + g.Words(2, 6) + "</h2><p>" + g.Words(15, 40) +
               "</p></div>\n";
      }
    }
    p += "</main>\n<footer><a href=\"/\">Home</a> <img src=\"/img/logo.gif\" alt=\"\"></footer>\n"
         "</body>\n</html>\n";
    const std::string url = PageURL(n);
    qv::InsertBase(p, url, true);
    site.push_back({url, ".html", "text/html", std::move(p)});
  }
  for (int s = 0; s < sections; ++s) {
    const std::string dir = std::string(kHost) + "/s" + std::to_string(s) + "/";
    std::string index = "<html><head><title>Section</title></head><body>\n";
    for (int i = 0; i < kPerSection; ++i)
      index += "<a href=\"p" + std::to_string(i) + ".html\">" + g.Words(1, 3) + "</a><br>\n";
    index += "</body></html>\n";
    qv::InsertBase(index, dir, true);
    site.push_back({dir, ".html", "text/html; charset=utf-8", std::move(index)});
    site.push_back(
        {dir + "sec.css", ".css", "text/css",
         "h1 { background: url(\"pic1.jpg\") }\n.a { background: url(/img/logo.gif) }\n"});
    for (int i = 0; i < 20; ++i)
      site.push_back(
          {dir + "pic" + std::to_string(i) + ".jpg", ".jpg", "image/jpeg", std::string(2000, 'J')});
  }
  site.push_back({std::string(kHost) + "/", ".html", "text/html", "<a href=\"s0/\">s0</a>\n"});
  site.push_back({std::string(kHost) + "/css/site.css", ".css", "text/css",
                  "body { background: url(../img/logo.gif) }\n"});
  site.push_back({std::string(kHost) + "/img/logo.gif", ".gif", "image/gif", "GIF89a"});
  return site;
}

// Stores every body and its headers file under the layout's names.
void Store(const std::string& root, const std::vector<TBody>& site) {
  for (const TBody& b : site) {
    qv::WriteFileString(qv::URLToLocalPath(root, b.URL, "Data", b.Ext), b.Bytes);
    qv::WriteFileString(qv::URLToLocalPath(root, b.URL, "Head", ".txt"),
                        "HTTP/1.1 200 OK\r\nContent-Type: " + b.Type + "\r\n");
  }
}

double Seconds(const std::function<void()>& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Print(const char* name, double value) { std::printf("%s: %.2f\n", name, value); }

}  // namespace

int main(int argc, char** argv) {
  const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  namespace fs = std::filesystem;
  const fs::path scratch =
      fs::temp_directory_path() / ("qv-localise-bench-" + std::to_string(::getpid()));
  const std::string root = (scratch / "web").string();

  const std::vector<TBody> site = MakeSite(pages);
  double htmlBytes = 0;
  int stored = 0;
  qv::CreateGlobals();
  for (const TBody& b : site) {
    qv::TVkURLItem r;
    r.URL = b.URL;
    r.ContentType = b.Type;
    qv::GlobalURLList->AddItem(r, false);
    if (qv::StoredTextKind(b.Type) != qv::TStoredTextKind::Other) {
      htmlBytes += static_cast<double>(b.Bytes.size());
      ++stored;
    }
  }

  // The pass as it was before lookups were shared across pages: each page
  // looks up every target it links to again.
  const qv::TLocaliseFileProc perPage = [](qv::TStoredTextKind kind, const std::string& url,
                                           const std::string& dir, const std::atomic<bool>& abort) {
    if (kind == qv::TStoredTextKind::Page)
      qv::LocaliseHTMLFile(url, dir, abort);
    else
      qv::LocaliseCSSFile(url, dir, abort);
  };

  double store = 1e9, pass = 1e9, again = 1e9, floor = 1e9, unshared = 1e9;
  for (int r = 0; r < repeats; ++r) {
    fs::remove_all(scratch);
    store = std::min(store, Seconds([&] { Store(root, site); }));
    TPlainProgress sink;
    qv::TLocaliseSummary s;
    pass = std::min(
        pass, Seconds([&] { s = qv::LocaliseListReferences(*qv::GlobalURLList, root, sink); }));
    if (s.Rewritten != stored || s.Failed != 0) {
      std::fprintf(stderr, "pass rewrote %d of %d files, %d failed\n", s.Rewritten, stored,
                   s.Failed);
      return 1;
    }
    again = std::min(again,
                     Seconds([&] { qv::LocaliseListReferences(*qv::GlobalURLList, root, sink); }));
    floor = std::min(floor, Seconds([&] {
                       for (const TBody& b : site) {
                         if (qv::StoredTextKind(b.Type) == qv::TStoredTextKind::Other) continue;
                         const std::string name = qv::URLToLocalPath(root, b.URL, "Data", b.Ext);
                         qv::WriteFileString(name, qv::ReadFileString(name));
                       }
                     }));
    fs::remove_all(scratch);
    Store(root, site);
    unshared = std::min(
        unshared, Seconds([&] { qv::GlobalURLList->LocaliseReferences(root, sink, perPage); }));
  }
  fs::remove_all(scratch);
  qv::FreeGlobals();

  const double mb = htmlBytes / 1e6;
  std::printf("pages_and_style_sheets: %d\nbodies_stored: %zu\n", stored, site.size());
  Print("text_mb", mb);
  Print("pass_pages_s", stored / pass);
  Print("pass_mb_s", mb / pass);
  Print("second_pass_pages_s", stored / again);
  Print("pass_lookups_per_page_pages_s", stored / unshared);
  Print("ratio_pass_to_lookups_per_page_time", pass / unshared);
  Print("store_mirror_pages_s", stored / store);
  Print("copy_floor_pages_s", stored / floor);
  Print("ratio_pass_to_store_time", pass / store);
  Print("ratio_pass_to_copy_floor_time", pass / floor);
  return 0;
}
