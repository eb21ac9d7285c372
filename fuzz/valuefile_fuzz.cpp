// Settings files edited by hand or cut short by a crash: reading any bytes
// must not crash, and a value written into such a file reads back while every
// line the store does not understand survives the rewrite.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/store.h"

namespace {

std::string ScratchPath() {
  static std::string path = [] {
    char tmpl[] = "/tmp/qv-valuefile-fuzz-XXXXXX";
    char* dir = mkdtemp(tmpl);
    if (!dir) std::abort();
    static std::string folder = dir;
    std::atexit([] {
      unlink((folder + "/1.0").c_str());
      rmdir(folder.c_str());
    });
    return folder + "/1.0";
  }();
  return path;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> PlainLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (line.find('\\') == std::string::npos) lines.push_back(line);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchPath();
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << input;
  }
  qv::TValueFile f(path);
  for (const char* name : {"Email", "DailyTime", "UseModem", "SchedualTypes", "A", ""}) {
    (void)f.ReadString(name);
    (void)f.ReadInteger(name);
    (void)f.ReadBool(name);
    (void)f.ReadBinary(name);
  }

  const std::string value("v=\\\n\x01\xff", 6);
  if (!f.WriteString("Zq=\n", value)) std::abort();
  if (f.ReadString("Zq=\n") != value) std::abort();
  // The name written holds "=" and a line feed, so every spelling of it has
  // a backslash: lines without one are never the value's and must all survive,
  // byte for byte and in order.
  if (PlainLines(Slurp(path)) != PlainLines(input)) std::abort();
  return 0;
}
