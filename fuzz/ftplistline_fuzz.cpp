// One line of an FTP directory listing, as a server sends it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/tvurlutils.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), data ? size : 0);
  const qv::TFTPFileInfo f = qv::ParseFTPListLine(line);
  Check(f.Format == "D" || f.Format == "U");
  // The name is the end of the line, never made up.
  Check(f.Name.size() <= line.size() && line.find(f.Name) != std::string_view::npos);
  for (const std::string* t :
       {&f.Token1, &f.Token2, &f.Token3, &f.Token4, &f.Token5, &f.Token6, &f.Token7, &f.Token8}) {
    Check(t->find_first_of(" \t") == std::string::npos);
    Check(line.find(*t) != std::string_view::npos);
  }
  return 0;
}
