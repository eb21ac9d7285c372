// The project files the program folder ships (share/MirrorProjects) are made
// by the program's own writer: this test builds them again and compares.
// After a deliberate change, QV_UPDATE_GOLDEN=1 stores the new files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "model/projectfile.h"
#include "support/envscope.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

const std::string kShipped = QV_SOURCE_DIR "/share/MirrorProjects/";

// The template every new project starts from: the form's defaults, no root
// URLs, an empty list. Its mirror folder is empty, so each user's project
// gets that user's home mirror.
std::string DefaultProject() {
  TProjectValues v;
  v.Settings = FormDefaults();
  TVkURLList list;
  TMemoryStream out;
  WriteMirrorProject(out, v, list);
  return out.Data();
}

// The first-run project: the template with the program's home page as its
// one root URL (the page and the pages it links to, one level).
std::string ExampleProject() {
  TProjectValues v;
  v.Settings = FormDefaults();
  v.RootURLs = {{v.Settings.HomePageEd, 0 | (1 << 8)}};
  TVkURLList list;
  TVkURLItem root;
  root.URL = v.Settings.HomePageEd;
  list.AddItem(root, false);
  TMemoryStream out;
  WriteMirrorProject(out, v, list);
  return out.Data();
}

TEST(ShippedProjects, AreWhatTheWriterMakes) {
  const struct {
    const char* Name;
    std::string Bytes;
  } files[] = {{"Default.mpj", DefaultProject()}, {"Example1.mpj", ExampleProject()}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.Name);
    if (std::getenv("QV_UPDATE_GOLDEN")) test::WriteBytes(kShipped + f.Name, f.Bytes);
    EXPECT_EQ(test::ReadBytes(kShipped + f.Name), f.Bytes);
  }
}

TEST(ShippedProjects, LoadAsProjects) {
  test::TScratchHome home;
  home.Env.Set("HOME", home.Dir / "home");
  TPlainProjectView view;
  TPublished<TSettings> settings;
  TPublished<TMimeFilter> mime;
  TPublished<TViewFilter> filter;
  settings.Publish(FormDefaults());
  TScriptedPrompter prompter;
  TVkURLList list;
  TCriticalSection lock;
  TProjectSession session(view, prompter, list, lock, {&settings, &mime, &filter});

  session.LoadMirrorProject(kShipped + "Example1.mpj");
  EXPECT_EQ(view.Caption, "Mirror Project:  Example1.mpj");
  ASSERT_EQ(session.RootURLs().size(), 1u);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(session.LocalWebDir(), home.Dir / "home/TvWeb");

  session.LoadMirrorProject(kShipped + "Default.mpj");
  EXPECT_TRUE(session.RootURLs().empty());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(prompter.Prompts.empty());
}

}  // namespace
}  // namespace qv
