// Saves one mirror project again and again through the project session, as
// the program saves it, so a test can kill the process at any moment of a
// save; and checks, as the program's next start would read it, what is left.
//
//   qv_saveloop save FILE COUNT     builds a list of COUNT records, then saves
//                                   generation 1, 2, 3 ... to FILE for ever,
//                                   printing "saved N" once generation N is
//                                   in place
//   qv_saveloop check FILE COUNT    loads FILE through the session; prints
//                                   "generation N" when it is one whole
//                                   generation of COUNT records, else says
//                                   what is wrong and exits 1
//
// A generation is told by its root URL row and by the titles of the first
// and last records, so a file mixing two generations does not pass. The
// settings store (under XDG_CONFIG_HOME) is made if missing, so the saves'
// "CurrentURLFile" is stored as the program stores it.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "model/leregistry.h"
#include "model/projectfile.h"
#include "model/vkconfig.h"
#include "model/vkglobal.h"
#include "platform/store.h"

namespace {

using namespace qv;

// In ascending key order, so the list is built by appending.
std::string RecordURL(int i) {
  char name[64];
  std::snprintf(name, sizeof name, "http://www.example.com/dir%03d/page%07d.html", i / 1000, i);
  return name;
}

std::string RootOf(int generation) {
  return "http://generation-" + std::to_string(generation) + ".example/";
}

void SetGeneration(TVkURLList& list, TProjectSession& session, int generation) {
  session.RootURLs() = {{RootOf(generation), 5u << 8}};
  const std::string title = "generation " + std::to_string(generation);
  list.GetItem(0)->Title = title;
  list.GetItem(list.Count() - 1)->Title = title;
}

int Save(const std::string& file, int count) {
  TPlainProjectView view;
  GlobalSettings().Publish(FormDefaults());
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  for (int i = 0; i < count; ++i) {
    TVkURLItem r(RecordURL(i), RecordURL(i / 2), RecordURL(i / 3), i % 2, "", "", 0, 1000 + i,
                 "text/html", 50, 0, "OK (200)");
    list.AddItem(r, false);
  }
  TProjectSession session(view, prompter, list, lock);
  for (int generation = 1;; ++generation) {
    SetGeneration(list, session, generation);
    session.SaveMirrorProject(file);
    std::printf("saved %d\n", generation);
    std::fflush(stdout);
  }
}

int Check(const std::string& file, int count) {
  TPlainProjectView view;
  GlobalSettings().Publish(FormDefaults());
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  TProjectSession session(view, prompter, list, lock);
  // What the next start opens: the store must read, and name the project.
  std::printf("current %s\n", RegReadString(RegCurrentURLFile).c_str());
  if (!IsMirrorProjectFile(file)) {
    std::printf("not a project file: %s\n", file.c_str());
    return 1;
  }
  session.LoadMirrorProject(file);
  if (list.Count() != count) {
    std::printf("%d records, not %d\n", list.Count(), count);
    return 1;
  }
  if (session.RootURLs().size() != 1) {
    std::printf("%zu root rows\n", session.RootURLs().size());
    return 1;
  }
  const std::string root = session.RootURLs()[0].Text;
  const std::string prefix = "http://generation-";
  const int generation = std::atoi(root.c_str() + prefix.size());
  if (root.rfind(prefix, 0) != 0 || root != RootOf(generation)) {
    std::printf("root row %s\n", root.c_str());
    return 1;
  }
  const std::string title = "generation " + std::to_string(generation);
  for (int i = 0; i < count; ++i) {
    const TVkURLItem* r = list.GetItem(i);
    const bool end = i == 0 || i == count - 1;
    if (r->Status != usDownloaded || (end && r->Title != title) || (!end && !r->Title.empty())) {
      std::printf("record %d (%s) is not of generation %d\n", i, r->URL.c_str(), generation);
      return 1;
    }
  }
  // Every record the saver made, each once.
  for (int i = 0; i < count; ++i) {
    const TVkURLItem* r = list.FindItem(RecordURL(i));
    if (!r || r->Size != 1000 + i || r->ParentURL != RecordURL(i / 3)) {
      std::printf("record %s missing or changed\n", RecordURL(i).c_str());
      return 1;
    }
  }
  std::printf("generation %d\n", generation);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s save|check FILE COUNT\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1], file = argv[2];
  const int count = std::atoi(argv[3]);
  if (count < 2) return 2;
  try {
    SetRegistryKey(ProgramRegistryKey);
    TValueFile(StoreFileForKey(ProgramRegistryKey)).Create();
    CreateGlobals();
    if (mode == "save") return Save(file, count);
    if (mode == "check") return Check(file, count);
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    return 1;
  }
  return 2;
}
