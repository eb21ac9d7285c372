// Writes a mirror project with the program's own writer: the form's
// defaults, the given root URLs and local mirror folder, an empty list.
//   qv_makeproject FILE MIRROR_FOLDER ROOT_URL...
// Used by `make demo` to point a project at the local demo site.
#include <cstdint>
#include <cstdio>
#include <exception>

#include "model/projectfile.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s FILE MIRROR_FOLDER ROOT_URL...\n", argv[0]);
    return 2;
  }
  try {
    qv::TProjectValues v;
    v.Settings = qv::FormDefaults();
    v.Settings.LocWebEd = argv[2];
    // Each root explores its whole site ("Site | 9": scope 1, 9 levels), so
    // "Quick mirror" on the demo project mirrors the sample site.
    constexpr uint32_t kWholeSite = 1u | (9u << 8);
    for (int i = 3; i < argc; ++i) v.RootURLs.push_back({argv[i], kWholeSite});
    qv::TVkURLList list;
    qv::TFileStream out(argv[1], qv::TFileStream::TMode::fmCreate);
    qv::WriteMirrorProject(out, v, list);
    out.Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
