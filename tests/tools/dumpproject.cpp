// Prints what a mirror project file holds, one tab-separated line each, so
// that scripts can compare projects and check a mirror against its list:
//   root    SCOPE LEVELS TEXT         the root URL rows, in grid order
//   option  NAME VALUE                the project options of the settings window
//   url     STATUS SIZE TYPE URL PATH DETAILS
//                                     the master list, in list order; PATH is
//                                     the URL's stored body under the project's
//                                     mirror folder, DETAILS what its last
//                                     fetch came to
//   qv_dumpproject FILE
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <variant>

#include "model/projectfile.h"
#include "model/settings.h"
#include "model/tvurlutils.h"
#include "model/vkfile.h"

namespace {

// Tabs and line ends inside a value would split its line.
std::string Field(const std::string& s) {
  std::string out;
  for (char c : s) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  return out;
}

std::string OptionValue(const qv::TSettings& s, const qv::TOption& o) {
  return std::visit(
      [&](auto field) -> std::string {
        using F = decltype(field);
        if constexpr (std::is_same_v<F, bool qv::TSettings::*>) {
          return s.*field ? "1" : "0";
        } else if constexpr (std::is_same_v<F, int qv::TSettings::*>) {
          return std::to_string(s.*field);
        } else if constexpr (std::is_same_v<F, std::string qv::TSettings::*>) {
          return Field(s.*field);
        } else {
          std::string rows;
          for (const auto& r : s.*field) rows += Field(r.Text) + "=" + std::to_string(r.Attr) + ";";
          return rows;
        }
      },
      o.Field);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  try {
    qv::TProjectValues v;
    v.Settings = qv::FormDefaults();
    qv::TVkURLList list;
    qv::TFileStream in(argv[1], qv::TFileStream::TMode::fmOpenRead);
    qv::ReadMirrorProject(in, v, list);
    for (const auto& r : v.RootURLs)
      std::printf("root\t%u\t%u\t%s\n", r.Attr & 0xFFu, (r.Attr >> 8) & 0xFFu,
                  Field(r.Text).c_str());
    for (const auto& o : qv::SettingsOptions()) {
      if (o.Store != qv::TOptionStore::Project) continue;
      std::printf("option\t%s\t%s\n", o.Control, OptionValue(v.Settings, o).c_str());
    }
    const std::string web = v.Settings.LocWebEd;
    for (int i = 0; i < list.Count(); ++i) {
      const qv::TVkURLItem& r = *list.GetItem(i);
      const std::string path =
          web.empty() ? "" : qv::NativePath(qv::URLToLocalPath(web, r.URL, "Data", ""));
      std::printf("url\t%u\t%d\t%s\t%s\t%s\t%s\n", r.Status, r.Size, Field(r.ContentType).c_str(),
                  Field(r.URL).c_str(), Field(path).c_str(), Field(r.Details).c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
    return 1;
  }
  return 0;
}
