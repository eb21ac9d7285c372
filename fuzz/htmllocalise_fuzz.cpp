// Rewriting a page for off-line browsing over any bytes: no crash, the walk
// that holds its rewrites back agrees with the one that makes them in place,
// and undoing the reported edits gives back the page byte for byte, so
// nothing outside a rewritten link (or the inserted base) was touched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/htmlparser.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A small mirror, made once: a few stored bodies so some links become
// relative paths and the rest absolute URLs.
const std::string& Mirror() {
  static const std::string root = [] {
    std::string dir = (std::filesystem::temp_directory_path() / "qv-fuzz-mirror").string();
    for (const char* url : {"http://h/d/p.html", "http://h/d/a.html", "http://h/d/img/b.gif",
                            "http://h/x.css", "http://h/d/"}) {
      std::string name = qv::NativePath(qv::URLToLocalPath(dir, url, "Data", ".html"));
      std::filesystem::create_directories(std::filesystem::path(name).parent_path());
      std::ofstream(name) << "x";
    }
    return dir;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  std::string page = original;
  std::vector<qv::TTextEdit> edits;
  std::atomic<bool> abort{false};
  qv::LocaliseHTMLText(page, "http://h/d/p.html", Mirror(), abort, {}, &edits);
  // The walk that holds rewrites back gives the page and the edits of the
  // one that makes each in place.
  std::string inPlace = original;
  std::vector<qv::TTextEdit> inPlaceEdits;
  qv::html_detail::LocaliseHTMLTextInPlace(inPlace, "http://h/d/p.html", Mirror(), abort, {},
                                           &inPlaceEdits);
  Check(inPlace == page && inPlaceEdits.size() == edits.size());
  for (std::size_t i = 0; i < edits.size(); ++i)
    Check(edits[i].At == inPlaceEdits[i].At && edits[i].Old == inPlaceEdits[i].Old &&
          edits[i].New == inPlaceEdits[i].New);
  for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
    Check(it->At <= page.size() && page.compare(it->At, it->New.size(), it->New) == 0);
    page.replace(it->At, it->New.size(), it->Old);
  }
  Check(page == original);
  return 0;
}
