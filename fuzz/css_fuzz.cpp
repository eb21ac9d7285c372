// The style-sheet url() scanner and rewriter over any bytes: the cursor always
// stands on the value it returned, and undoing the reported edits gives back
// the sheet byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/cssparser.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const std::string& Mirror() {
  static const std::string root = [] {
    std::string dir = (std::filesystem::temp_directory_path() / "qv-fuzz-css-mirror").string();
    for (const char* url : {"http://h/css/s.css", "http://h/css/a.png", "http://h/img/b.gif"}) {
      std::string name = qv::NativePath(qv::URLToLocalPath(dir, url, "Data", ".x"));
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
  const char* p = original.c_str();
  const char* prev = p;
  for (std::string u = qv::NextCSSURL(p); !u.empty(); u = qv::NextCSSURL(p)) {
    Check(p > prev && original.compare(p - original.c_str(), u.size(), u) == 0);
    prev = p;
    p += u.size();
  }
  std::string sheet = original;
  std::vector<qv::TTextEdit> edits;
  std::atomic<bool> abort{false};
  qv::LocaliseCSSText(sheet, "http://h/css/s.css", Mirror(), abort, {}, &edits);
  for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
    Check(it->At <= sheet.size() && sheet.compare(it->At, it->New.size(), it->New) == 0);
    sheet.replace(it->At, it->New.size(), it->Old);
  }
  Check(sheet == original);
  return 0;
}
