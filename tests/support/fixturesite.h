#pragma once
// A generated site for end-to-end mirror tests: pages that link to each
// other, to images and to a style sheet (with url() and @import), and a
// binary file. Written under a folder the web server serves.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qv::test {

struct TFixtureSite {
  std::vector<std::string> Paths;  // every file, relative to the site folder ("p0.html")
};

inline TFixtureSite MakeFixtureSite(const std::string& folder, int pages, int linksPerPage) {
  namespace fs = std::filesystem;
  fs::create_directories(folder + "/img");
  fs::create_directories(folder + "/css");
  TFixtureSite site;
  auto write = [&](const std::string& rel, const std::string& bytes) {
    std::ofstream(folder + "/" + rel, std::ios::binary) << bytes;
    site.Paths.push_back(rel);
  };
  write("css/base.css", "body { background: url(../img/bg.png); }\n");
  write("css/style.css", "@import url(\"base.css\");\nh1 { background: url('../img/i0.png'); }\n");
  for (int i = 0; i < 4; ++i) {
    std::string png = "\x89PNG\r\n\x1a\n";
    png += std::string(200 + i, static_cast<char>('a' + i));
    write("img/i" + std::to_string(i) + ".png", png);
  }
  write("img/bg.png", std::string("\x89PNG\r\n\x1a\nbackground", 18));
  std::string bin;
  for (int i = 0; i < 300000; ++i) bin += static_cast<char>((i * 7919) & 0xff);
  write("data.bin", bin);
  for (int p = 0; p < pages; ++p) {
    std::string html = "<html><head><title>Page " + std::to_string(p) +
                       "</title><link rel=\"stylesheet\" href=\"css/style.css\"></head><body>\n";
    for (int k = 1; k <= linksPerPage; ++k)
      html += "<a href=\"p" + std::to_string((p + k) % pages) + ".html\">next " +
              std::to_string(k) + "</a>\n";
    html += "<img src=\"img/i" + std::to_string(p % 4) + ".png\">\n";
    if (p == 0) html += "<a href=\"data.bin\">data</a>\n";
    html += "</body></html>\n";
    write("p" + std::to_string(p) + ".html", html);
  }
  return site;
}

}  // namespace qv::test
