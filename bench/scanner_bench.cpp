// Speed of the page and style-sheet scanners on a generated corpus of
// realistic pages and style sheets, against libwget's parsers in the same run.
//
//   scanner_bench [corpus MB of pages, default 52] [repeats, default 5] [parts]
//
// parts: any of "html", "css", "localise" joined by ","; default all.
//
// Prints "name: value" lines: MB/s of each scanner and of the peer (best of the
// repeats), their ratio, and the counts of links each found as a sanity check;
// then MB/s of localising the pages from a scratch mirror, as the localising
// pass does it (its target look-ups shared by the pass) and call by call.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/cssparser.h"
#include "engine/htmlparser.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"

#ifdef QV_HAVE_LIBWGET
// The peer's header is C: its "restrict" is spelled the C++ compilers' way.
#define restrict __restrict
#include <wget.h>
#undef restrict
#endif

namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- corpus

class TGen {
 public:
  explicit TGen(unsigned seed) : Rng(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(Rng); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(Int(0, static_cast<int>(v.size()) - 1))];
  }
  std::string Words(int lo, int hi) {
    static const std::vector<std::string> words = {
        "the",      "archive",  "of",      "our",       "local",   "news",       "and",
        "events",   "from",     "across",  "region",    "with",    "photos",     "reports",
        "council",  "meeting",  "library", "opening",   "hours",   "weather",    "for",
        "weekend",  "market",   "results", "community", "project", "volunteers", "museum",
        "exhibit",  "history",  "bridge",  "repairs",   "school",  "concert",    "schedule",
        "download", "brochure", "contact", "details",   "summer",  "program",    "tickets"};
    std::string s;
    int n = Int(lo, hi);
    for (int i = 0; i < n; ++i) {
      if (i) s += ' ';
      s += Pick(words);
    }
    return s;
  }
  std::string Path(const char* dir, const char* ext) {
    static const std::vector<std::string> names = {"index", "about",  "news", "events",  "team",
                                                   "photo", "report", "map",  "history", "faq"};
    return std::string("/") + dir + "/" + Pick(names) + "-" + std::to_string(Int(1, 400)) + ext;
  }
  std::mt19937 Rng;
};

std::string MakePage(TGen& g, int number, std::size_t target) {
  std::string p;
  p.reserve(target + 4096);
  p += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  p += "<title>" + g.Words(3, 8) + "</title>\n";
  p += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  p += "<meta name=\"description\" content=\"" + g.Words(8, 20) + "\">\n";
  if (g.Chance(10)) p += "<meta name=\"robots\" content=\"index, follow\">\n";
  p += "<link rel=\"stylesheet\" href=\"/css/site-" + std::to_string(number % 40) + ".css\">\n";
  p += "<link rel=\"icon\" href=\"/favicon.ico\">\n";
  p += "<script src=\"/js/app-" + std::to_string(number % 25) + ".js\"></script>\n";
  p += "<script>\nwindow.dataLayer = window.dataLayer || [];\nfunction menu(el) {\n"
       "  var html = '<a href=\"#\" class=\"close\">x</a>';\n  el.innerHTML = html + el.title;\n"
       "  for (var i = 0; i < 10; i++) { if (i > 3 && i < 8) console.log(i); }\n}\n</script>\n";
  p += "<style>\nbody { margin: 0; font-family: sans-serif; }\n.hero { background: "
       "url(\"/img/hero-" +
       std::to_string(number % 9) + ".jpg\") no-repeat; }\n</style>\n</head>\n";
  p += "<body class=\"page page-" + std::to_string(number) + "\">\n<!-- header -->\n";
  p += "<header class=\"site-header\">\n<nav id=\"main-nav\" aria-label=\"Main\">\n<ul>\n";
  int navs = g.Int(15, 50);
  for (int i = 0; i < navs; ++i)
    p += "<li class=\"nav-item\"><a class=\"nav-link\" href=\"" + g.Path("section", ".html") +
         "\">" + g.Words(1, 3) + "</a></li>\n";
  p += "</ul>\n</nav>\n</header>\n<main id=\"content\">\n";
  while (p.size() < target) {
    switch (g.Int(0, 9)) {
      case 0:
      case 1:
      case 2: {
        p += "<p>" + g.Words(10, 40);
        int links = g.Int(0, 3);
        for (int i = 0; i < links; ++i)
          p += " <a href=\"" +
               (g.Chance(30) ? "https://www.example.org" + g.Path("ext", ".html")
                             : g.Path("news", ".html")) +
               "\" title=\"" + g.Words(2, 4) + "\">" + g.Words(1, 5) + "</a> " + g.Words(5, 20);
        p += " <strong>" + g.Words(1, 4) + "</strong> " + g.Words(5, 25) + ".</p>\n";
        break;
      }
      case 3: {
        std::string img = g.Path("img", ".jpg");
        p += "<figure class=\"photo\"><a href=\"" + g.Path("gallery", ".html") + "\"><img src=\"" +
             img + "\" alt=\"" + g.Words(2, 6) + "\" width=\"" + std::to_string(g.Int(100, 1200)) +
             "\" height=\"" + std::to_string(g.Int(100, 900)) + "\" loading=\"lazy\" srcset=\"" +
             img + " 1x, " + g.Path("img2x", ".jpg") + " 2x\"></a>\n<figcaption>" + g.Words(4, 12) +
             "</figcaption></figure>\n";
        break;
      }
      case 4: {
        p += "<table class=\"schedule\">\n<tr><th>Date</th><th>Event</th><th>Place</th></tr>\n";
        int rows = g.Int(3, 12);
        for (int i = 0; i < rows; ++i)
          p += "<tr><td>" + std::to_string(g.Int(1, 28)) + " June</td><td><a href=\"" +
               g.Path("events", ".html") + "\">" + g.Words(2, 5) + "</a></td><td>" + g.Words(1, 3) +
               "</td></tr>\n";
        p += "</table>\n";
        break;
      }
      case 5:
        p += "<!-- " + g.Words(3, 12) + " -->\n<div class=\"card card-" +
             std::to_string(g.Int(1, 9)) + "\" data-id=\"" + std::to_string(g.Int(1, 99999)) +
             "\" data-track=\"click\"><h2>" + g.Words(2, 6) + "</h2><div class=\"card-body\">" +
             g.Words(10, 30) + "</div></div>\n";
        break;
      case 6:
        p +=
            "<form action=\"/search\" method=\"get\"><input type=\"text\" name=\"q\" "
            "placeholder=\"Search\"><input type=\"image\" src=\"/img/go.png\" alt=\"Go\"></form>\n";
        break;
      case 7:
        p += "<ul class=\"downloads\">\n";
        for (int i = 0, n = g.Int(2, 8); i < n; ++i)
          p += "<li><a href=\"" + g.Path("files", ".pdf") + "\">" + g.Words(2, 6) +
               "</a> <span class=\"size\">(" + std::to_string(g.Int(10, 900)) +
               " KB)</span></li>\n";
        p += "</ul>\n";
        break;
      case 8:
        p += "<div class=\"video\"><iframe src=\"https://video.example.net/embed/" +
             std::to_string(g.Int(1000, 9999)) +
             "\" width=\"560\" height=\"315\" allowfullscreen></iframe></div>\n";
        break;
      default:
        p += "<blockquote><p>" + g.Words(15, 45) + "</p><cite>" + g.Words(2, 4) +
             "</cite></blockquote>\n";
    }
  }
  p += "</main>\n<footer>\n<p>";
  for (int i = 0; i < 8; ++i)
    p += "<a href=\"" + g.Path("info", ".html") + "\">" + g.Words(1, 2) + "</a> | ";
  p += "</p>\n</footer>\n<script src=\"/js/analytics.js\" async></script>\n</body>\n</html>\n";
  return p;
}

std::string MakeSheet(TGen& g, std::size_t target) {
  const bool minified = g.Chance(30);
  const char* sep = minified ? "" : "\n  ";
  const char* colon = minified ? ":" : ": ";
  std::string s;
  s.reserve(target + 1024);
  s += "@charset \"utf-8\";\n@import url(\"/css/base.css\");\n";
  s += "@font-face {" + std::string(sep) + "font-family" + colon + "\"Site\";" + sep + "src" +
       colon +
       "url(\"/fonts/site.woff2\") format(\"woff2\"), url(/fonts/site.woff) format(\"woff\");\n}\n";
  static const std::vector<std::string> props = {"color",       "margin", "padding", "font-size",
                                                 "line-height", "border", "display", "width"};
  static const std::vector<std::string> values = {"#333", "0 auto",         "1em 2em", "14px",
                                                  "1.5",  "1px solid #ccc", "block",   "100%"};
  while (s.size() < target) {
    s += ".c" + std::to_string(g.Int(1, 5000)) + (g.Chance(40) ? " a:hover" : "") + " {";
    int n = g.Int(2, 7);
    for (int i = 0; i < n; ++i) {
      s += sep;
      if (g.Chance(18)) {
        const char* q = g.Chance(50) ? "\"" : (g.Chance(50) ? "'" : "");
        s += std::string(g.Chance(50) ? "background" : "background-image") + colon + "url(" + q +
             g.Path("img", g.Chance(50) ? ".png" : ".gif") + q + ")" +
             (g.Chance(50) ? " no-repeat 0 0" : "") + ";";
      } else {
        std::size_t k = static_cast<std::size_t>(g.Int(0, static_cast<int>(props.size()) - 1));
        s += props[k] + colon + values[k] + ";";
      }
    }
    s += minified ? "}" : "\n}\n";
  }
  return s;
}

// ---------------------------------------------------------------- our scans

// The url() references of style-sheet text, appended to out.
void AddSheetURLs(const std::string& sheet, std::vector<std::string>& out) {
  const char* p = sheet.c_str();
  for (std::string u = qv::NextCSSURL(p); !u.empty(); u = qv::NextCSSURL(p)) {
    p += u.size() + 1;
    out.push_back(std::move(u));
  }
}

// One rule: record the value when there is one. Each value is read as a
// browser reads it once the page is done (the same work, and this stays
// small enough to be inlined at each of its many uses, as the thread's reads
// are).
bool Take(std::vector<std::string>& out, std::string&& v) {
  if (v.empty()) return false;
  out.push_back(std::move(v));
  return true;
}

// A srcset rule: every candidate.
bool TakeList(std::vector<std::string>& out, std::string&& v) {
  if (v.empty()) return false;
  const std::string list = qv::DecodeCharRefs(std::move(v));
  for (const qv::TTextSpan& u : qv::SrcsetURLs(list)) out.push_back(list.substr(u.At, u.Length));
  return true;
}

// The rules of the embedded links, after the anchor's: first the tags with
// one link attribute, then the groups, as the exploring thread tries them.
void EmbeddedLinks(const char* p, std::vector<std::string>& out) {
  using qv::GetTagAttribute;
  // Names as constants, so no call measures their length.
  using namespace std::string_view_literals;
  auto take = [&out](std::string&& v) { return Take(out, std::move(v)); };
  auto takeList = [&out](std::string&& v) { return TakeList(out, std::move(v)); };
  // A form's action, unless the form posts.
  auto takeForm = [&] {
    std::string action = GetTagAttribute("form"sv, "action"sv, p);
    if (action.empty()) return false;
    if (GetTagAttribute("form"sv, "method"sv, p) != "post") take(std::move(action));
    return true;
  };
  bool done = take(GetTagAttribute("bgsound"sv, "src"sv, p)) ||
              (take(GetTagAttribute("applet"sv, "codebase"sv, p)) &&
               (GetTagAttribute("applet"sv, "alt"sv, p), true)) ||
              (take(GetTagAttribute("input"sv, "src"sv, p)) &&
               (GetTagAttribute("input"sv, "alt"sv, p), true)) ||
              take(GetTagAttribute("script"sv, "src"sv, p)) ||
              (take(GetTagAttribute("area"sv, "href"sv, p)) &&
               (GetTagAttribute("area"sv, "alt"sv, p), true)) ||
              takeForm() || take(GetTagAttribute("link"sv, "href"sv, p)) ||
              take(GetTagAttribute("body"sv, "background"sv, p)) ||
              take(GetTagAttribute("table"sv, "background"sv, p)) ||
              take(GetTagAttribute("td"sv, "background"sv, p));
  if (!done) {
    done = take(GetTagAttribute("frame"sv, "longdesc"sv, p)) |
           take(GetTagAttribute("frame"sv, "src"sv, p));
  }
  if (!done) {
    done = take(GetTagAttribute("iframe"sv, "longdesc"sv, p)) |
           take(GetTagAttribute("iframe"sv, "src"sv, p));
  }
  if (!done) {
    done = take(GetTagAttribute("img"sv, "longdesc"sv, p)) |
           take(GetTagAttribute("img"sv, "lowsrc"sv, p)) |
           take(GetTagAttribute("img"sv, "src"sv, p)) |
           take(GetTagAttribute("img"sv, "usemap"sv, p)) |
           take(GetTagAttribute("img"sv, "dynsrc"sv, p)) |
           takeList(GetTagAttribute("img"sv, "srcset"sv, p));
    if (done) (void)GetTagAttribute("img"sv, "alt"sv, p);
  }
  if (!done) {
    done = take(GetTagAttribute("embed"sv, "src"sv, p)) |
           take(GetTagAttribute("embed"sv, "pluginspage"sv, p)) |
           take(GetTagAttribute("embed"sv, "codebase"sv, p)) |
           take(GetTagAttribute("embed"sv, "pluginurl"sv, p));
    if (done) (void)GetTagAttribute("embed"sv, "alt"sv, p);
  }
  if (!done) {
    done = take(GetTagAttribute("object"sv, "classid"sv, p)) |
           take(GetTagAttribute("object"sv, "codebase"sv, p)) |
           take(GetTagAttribute("object"sv, "data"sv, p)) |
           take(GetTagAttribute("object"sv, "usemap"sv, p));
  }
  if (!done) {
    done = take(GetTagAttribute("layer"sv, "background"sv, p)) |
           take(GetTagAttribute("layer"sv, "src"sv, p));
  }
  if (!done) {
    done = take(GetTagAttribute("ilayer"sv, "background"sv, p)) |
           take(GetTagAttribute("ilayer"sv, "src"sv, p));
  }
  if (!done) {
    done = take(GetTagAttribute("video"sv, "src"sv, p)) |
           take(GetTagAttribute("video"sv, "poster"sv, p));
  }
  if (!done) done = take(GetTagAttribute("audio"sv, "src"sv, p));
  if (!done) {
    done = take(GetTagAttribute("source"sv, "src"sv, p)) |
           takeList(GetTagAttribute("source"sv, "srcset"sv, p));
  }
  if (!done) (void)take(GetTagAttribute("track"sv, "src"sv, p));
}

// Reads every link attribute of one page the way the exploring thread does:
// tag by tag, each rule's attributes in turn, written out rule by rule as that
// thread's code reads them; withText adds each anchor's text and image (read
// for its link-follow rules and titles).
std::size_t SpiderLinks(const std::string& page, std::vector<std::string>& out, bool withText) {
  using qv::GetTagAttribute;
  using namespace std::string_view_literals;
  out.clear();
  const char* p = page.c_str();
  auto take = [&out](std::string&& v) { return Take(out, std::move(v)); };
  for (;;) {
    const char* next = p;
    if (!*p || !qv::FindNextTag(next)) break;
    p = next;
    if (take(GetTagAttribute("Tvbase"sv, "href"sv, p))) {
      p = qv::FindTagEnd(p);
      continue;
    }
    // The tag's end comes from the same pass that looks for its style.
    const char* tagEnd = nullptr;
    if (std::string style = qv::GetAnyTagAttribute("style"sv, p, tagEnd); !style.empty())
      AddSheetURLs(qv::DecodeCharRefs(std::move(style)), out);
    if (std::string_view sheet = qv::StyleElementText(p); !sheet.empty())
      AddSheetURLs(std::string(sheet), out);
    const char* refresh = p;
    if (take(qv::GetMetaRefreshURL(refresh))) {
      p = tagEnd;
      continue;
    }
    if (take(GetTagAttribute("a"sv, "href"sv, p))) {
      p = tagEnd;
      if (withText) {
        std::string image;
        std::string text = qv::GetLinkText(p, &image);
        take(std::move(image));
      }
      continue;
    }
    if (!qv::GetMetaRobots(p).empty()) {
      p = tagEnd;
      continue;
    }
    EmbeddedLinks(p, out);
    p = tagEnd;
  }
  for (std::string& v : out) v = qv::DecodeCharRefs(std::move(v));
  return out.size();
}

std::size_t SheetURLs(const std::string& sheet, std::vector<std::string>& out) {
  out.clear();
  AddSheetURLs(sheet, out);
  return out.size();
}

// ---------------------------------------------------------------- timing

struct TRun {
  double Seconds = 0;
  std::size_t Found = 0;
};

// Best of `repeats` passes over the whole corpus.
TRun Best(int repeats, const std::function<std::size_t()>& pass) {
  TRun best;
  for (int r = 0; r < repeats; ++r) {
    auto t0 = Clock::now();
    std::size_t found = pass();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (r == 0 || s < best.Seconds) best = {s, found};
  }
  return best;
}

double MB(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

void Print(const char* name, double value) { std::printf("%s: %.2f\n", name, value); }
void PrintCount(const char* name, std::size_t value) { std::printf("%s: %zu\n", name, value); }

#ifdef QV_HAVE_LIBWGET
void CountCSSURL(void* ctx, const char*, size_t, size_t) { ++*static_cast<std::size_t*>(ctx); }
#endif

}  // namespace

int main(int argc, char** argv) {
  const double pagesMB = argc > 1 ? std::atof(argv[1]) : 52.0;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string parts = argc > 3 ? argv[3] : "html,css,localise";
  auto wanted = [&](const char* part) { return parts.find(part) != std::string::npos; };

  TGen g(20261210);
  std::vector<std::string> pages;
  std::size_t htmlBytes = 0;
  while (MB(htmlBytes) < pagesMB) {
    pages.push_back(MakePage(g, static_cast<int>(pages.size()),
                             static_cast<std::size_t>(g.Int(20000, 120000))));
    htmlBytes += pages.back().size();
  }
  std::vector<std::string> sheets;
  std::size_t cssBytes = 0;
  while (MB(cssBytes) < pagesMB / 3) {
    sheets.push_back(MakeSheet(g, static_cast<std::size_t>(g.Int(5000, 80000))));
    cssBytes += sheets.back().size();
  }
  Print("corpus_html_mb", MB(htmlBytes));
  PrintCount("corpus_html_pages", pages.size());
  Print("corpus_css_mb", MB(cssBytes));
  PrintCount("corpus_css_sheets", sheets.size());

  std::vector<std::string> found;
  if (wanted("html") || wanted("css")) {
    TRun ourHTML = Best(repeats, [&] {
      std::size_t n = 0;
      for (const auto& page : pages) n += SpiderLinks(page, found, false);
      return n;
    });
    TRun ourHTMLText = Best(repeats, [&] {
      std::size_t n = 0;
      for (const auto& page : pages) n += SpiderLinks(page, found, true);
      return n;
    });
    TRun ourCSS = Best(repeats, [&] {
      std::size_t n = 0;
      for (const auto& sheet : sheets) n += SheetURLs(sheet, found);
      return n;
    });
    Print("html_links_qv_mb_s", MB(htmlBytes) / ourHTML.Seconds);
    PrintCount("html_links_qv_found", ourHTML.Found);
    Print("html_links_and_texts_qv_mb_s", MB(htmlBytes) / ourHTMLText.Seconds);
    Print("css_urls_qv_mb_s", MB(cssBytes) / ourCSS.Seconds);
    PrintCount("css_urls_qv_found", ourCSS.Found);

#ifdef QV_HAVE_LIBWGET
    TRun peerHTML = Best(repeats, [&] {
      std::size_t n = 0;
      for (const auto& page : pages) {
        wget_html_parsed_result_t* res = wget_html_get_urls_inline(page.c_str(), nullptr, nullptr);
        if (res) {
          n += static_cast<std::size_t>(wget_vector_size(res->uris));
          wget_html_free_urls_inline(&res);
        }
      }
      return n;
    });
    TRun peerCSS = Best(repeats, [&] {
      std::size_t n = 0;
      for (const auto& sheet : sheets)
        wget_css_parse_buffer(sheet.c_str(), sheet.size(), CountCSSURL, nullptr, &n);
      return n;
    });
    Print("html_links_libwget_mb_s", MB(htmlBytes) / peerHTML.Seconds);
    PrintCount("html_links_libwget_found", peerHTML.Found);
    Print("html_links_ratio_qv_over_libwget", peerHTML.Seconds / ourHTML.Seconds);
    Print("html_links_and_texts_ratio_qv_over_libwget", peerHTML.Seconds / ourHTMLText.Seconds);
    Print("css_urls_libwget_mb_s", MB(cssBytes) / peerCSS.Seconds);
    PrintCount("css_urls_libwget_found", peerCSS.Found);
    Print("css_urls_ratio_qv_over_libwget", peerCSS.Seconds / ourCSS.Seconds);
#endif
  }
  if (!wanted("localise")) return 0;

  // Rewriting for off-line browsing: every page stored in a scratch mirror
  // with the pages its navigation links to, then localised from disk.
  namespace fs = std::filesystem;
  std::string tmpl = (fs::temp_directory_path() / "qv-scanner-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return 1;
  const std::string root = tmpl;
  std::vector<std::string> urls;
  for (std::size_t i = 0; i < pages.size(); ++i)
    urls.push_back("http://www.example.com/pages/p" + std::to_string(i) + ".html");
  for (int i = 1; i <= 400; i += 3) {
    for (const char* name : {"index", "news", "events"}) {
      std::string body = qv::NativePath(qv::URLToLocalPath(
          root,
          "http://www.example.com/section/" + std::string(name) + "-" + std::to_string(i) + ".html",
          "Data", ".html"));
      fs::create_directories(fs::path(body).parent_path());
      std::ofstream(body) << "x";
    }
  }
  auto storePages = [&] {
    for (std::size_t i = 0; i < pages.size(); ++i) {
      std::string body = qv::NativePath(qv::URLToLocalPath(root, urls[i], "Data", ".html"));
      fs::create_directories(fs::path(body).parent_path());
      std::ofstream(body, std::ios::binary | std::ios::trunc) << pages[i];
    }
  };
  std::atomic<bool> abort{false};
  // As the localising pass calls it (one look-up of each link target for the
  // whole pass), and on its own (each call looks its targets up afresh).
  auto filePass = [&](bool shared) {
    double best = 0;
    for (int r = 0; r < std::min(repeats, 2); ++r) {
      storePages();
      qv::TStoredBodies bodies;
      auto t0 = Clock::now();
      for (const auto& url : urls)
        qv::LocaliseHTMLFile(url, root, abort, {}, shared ? &bodies : nullptr);
      double s = std::chrono::duration<double>(Clock::now() - t0).count();
      if (r == 0 || s < best) best = s;
    }
    return best;
  };
  Print("localise_html_file_mb_s", MB(htmlBytes) / filePass(true));
  Print("localise_html_file_own_lookups_mb_s", MB(htmlBytes) / filePass(false));
  TRun text = Best(std::min(repeats, 2), [&] {
    std::size_t n = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      std::string page = pages[i];
      std::vector<qv::TTextEdit> edits;
      qv::LocaliseHTMLText(page, urls[i], root, abort, {}, &edits);
      n += edits.size();
    }
    return n;
  });
  Print("localise_html_text_mb_s", MB(htmlBytes) / text.Seconds);
  PrintCount("localise_html_links_rewritten", text.Found);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
