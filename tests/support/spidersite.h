#pragma once

// The fixture site of the spider's network tests, written into the two
// nginx site roots (scripts/servers/nginx): nested folders reached in
// directory form, frames, a meta refresh, a page whose robots meta tag says
// "nofollow", a robots.txt with a disallowed folder, a style sheet with url()
// references and an @import of a minified one, images and an image map, a link to the second host,
// a 301 and a 302 (answered by nginx itself), a link with a fragment and one with a query.

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace qv::test {

struct TSpiderSite {
  std::string A;  // "http://127.0.0.1:PORT" of the first host
  std::string B;  // of the second
  // Request paths the crawl must make on each host, each exactly once.
  std::set<std::string> PathsA, PathsB;
  // Paths that must never be requested.
  std::set<std::string> NeverA;
};

inline void WriteSiteFile(const std::string& root, const std::string& path,
                          const std::string& text) {
  const std::filesystem::path file = std::filesystem::path(root) / path.substr(1);
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

inline std::string SitePage(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>\n";
}

inline TSpiderSite MakeSpiderSite(const std::string& rootA, const std::string& rootB, int portA,
                                  int portB) {
  TSpiderSite s;
  s.A = "http://127.0.0.1:" + std::to_string(portA);
  s.B = "http://127.0.0.1:" + std::to_string(portB);
  auto a = [&](const std::string& path, const std::string& text) {
    WriteSiteFile(rootA, path, text);
  };
  a("/robots.txt", "User-agent: *\nDisallow: /private/\n");
  a("/index.html",
    "<html><head><title>Home</title><link rel=\"stylesheet\" href=\"style.css\"></head><body>"
    "<a href=\"dir1/\">Dir one</a> <a href=\"page.html?x=1\">Query</a> "
    "<a href=\"page.html#top\">Fragment</a> <a href=\"frames.html\">Frames</a> "
    "<a href=\"refresh.html\">Refresh</a> <a href=\"nofollow.html\">No follow</a> "
    "<a href=\"private/secret.html\">Secret</a> <a href=\"moved.html\">Moved</a> "
    "<a href=\"temp.html\">Temp</a> <a href=\"" +
        s.B +
        "/other.html\">Other host</a>"
        "<img src=\"img/logo.gif\" usemap=\"#m\" alt=\"Logo\">"
        "<map name=\"m\"><area href=\"map.html\" alt=\"Map area\"></map></body></html>\n");
  a("/style.css",
    "@import \"print.css\";\n"
    "body { background: url(img/bg.gif); }\nh1 { list-style: url('img/dot.gif'); }\n");
  // Written the way a minifier leaves it.
  a("/print.css", "p{background:#fff url(img/paper.gif)}/* url(img/old.gif) */");
  a("/img/logo.gif", "GIF89a");
  a("/page.html", SitePage("Page", "plain"));
  a("/map.html", SitePage("Map", "from the map"));
  a("/dir1/index.html",
    SitePage("Dir one", "<a href=\"sub/\">Sub</a> <a href=\"../index.html\">Up</a>"));
  a("/dir1/sub/index.html", SitePage("Sub", "<a href=\"leaf.html\">Leaf</a>"));
  a("/dir1/sub/leaf.html", SitePage("Leaf", "too deep"));
  a("/frames.html",
    "<html><head><title>Frames</title></head><frameset><frame src=\"f1.html\">"
    "<frame src=\"f2.html\"></frameset></html>\n");
  a("/f1.html", SitePage("F1", "one"));
  a("/f2.html", SitePage("F2", "two"));
  a("/refresh.html",
    "<html><head><meta http-equiv=\"refresh\" content=\"0; url=refreshed.html\"></head></html>\n");
  a("/refreshed.html", SitePage("Refreshed", "here"));
  a("/nofollow.html",
    "<html><head><title>NF</title></head><body><a href=\"before.html\">Before</a>"
    "<meta name=\"robots\" content=\"noindex, nofollow\"><a href=\"after.html\">After</a>"
    "</body></html>\n");
  a("/before.html", SitePage("Before", ""));
  a("/after.html", SitePage("After", ""));
  a("/private/secret.html", SitePage("Secret", ""));
  // Reached only through the redirections; their pages have no head.
  a("/landing/index.html", "<a href=\"deeper.html\">Deeper</a>\n");
  a("/landing/deeper.html", SitePage("Deeper", ""));
  a("/dir2/page.html", "<p><a href=\"next.html\">Next</a></p>\n");
  a("/dir2/next.html", SitePage("Next", ""));
  WriteSiteFile(rootB, "/robots.txt", "User-agent: *\nDisallow:\n");
  WriteSiteFile(rootB, "/other.html",
                SitePage("Other", "<a href=\"" + s.A + "/index.html\">Back</a>"));

  // The crawl starts at /index.html three levels deep in site mode 0: the
  // leaf below /dir1/sub/ is one level too deep.
  s.PathsA = {"/robots.txt",     "/index.html",     "/style.css",
              "/print.css",      "/page.html?x=1",  "/page.html",
              "/dir1/",          "/dir1/sub/",      "/frames.html",
              "/f1.html",        "/f2.html",        "/refresh.html",
              "/refreshed.html", "/nofollow.html",  "/before.html",
              "/moved.html",     "/landing/",       "/landing/deeper.html",
              "/temp.html",      "/dir2/page.html", "/dir2/next.html",
              "/map.html"};
  s.PathsB = {"/robots.txt", "/other.html"};
  s.NeverA = {"/private/secret.html", "/after.html", "/dir1/sub/leaf.html", "/img/logo.gif"};
  return s;
}

}  // namespace qv::test
