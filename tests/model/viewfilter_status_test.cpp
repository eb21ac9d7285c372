// The view filter against what only a listed record knows: a status refreshed
// from the mirror, and the content-type filter deciding alone.
#include <gtest/gtest.h>

#include <fstream>

#include "model/mimefilter.h"
#include "model/tvurlutils.h"
#include "model/viewfilter.h"
#include "model/vkfile.h"
#include "model/vkurllist.h"
#include "support/scratchdir.h"

namespace qv {
namespace {

TEST(ViewFilterStatus, ContentTypeAloneDecidesWhenNothingElseIsSet) {
  TMimeFilter htmlOnly;
  htmlOnly.Patterns = {"text/html"};
  struct Case {
    const char* name;
    const char* type;
    bool shown;
  } cases[] = {{"accepted type", "text/html", true}, {"refused type", "image/gif", false}};
  for (const auto& c : cases) {
    TVkURLItem r;
    r.URL = "http://a/x";
    r.ContentType = c.type;
    EXPECT_EQ(URLPassesFilters(TViewFilter{}, htmlOnly, r), c.shown) << c.name;
  }
}

// A record loaded from a project is refreshed before a status test: with its
// body file in the mirror it counts as downloaded, without it a "downloaded"
// record counts as deleted.
TEST(ViewFilterStatus, NeedsCheckUsesTheMirror) {
  test::TScratchDir dir;
  SetLocalWebDir(dir.Path);
  const std::string present = "http://site.test/here.html";
  const std::string body = NativePath(URLToLocalPath(dir.Path, present, "Data", ""));
  ASSERT_FALSE(body.empty());
  std::filesystem::create_directories(std::filesystem::path(body).parent_path());
  std::ofstream(body) << "x";

  TViewFilter onlyDownloaded;
  onlyDownloaded.DLFilesCombo = ccOnly;
  TVkURLItem fresh;
  fresh.URL = present;
  fresh.NeedsCheck = 1;  // status 10 "New" as stored
  EXPECT_TRUE(URLPassesFilters(onlyDownloaded, TMimeFilter{}, fresh));
  EXPECT_EQ(fresh.Status, usDownloaded);

  TVkURLItem gone;
  gone.URL = "http://site.test/gone.html";
  gone.SetStatus(usDownloaded);
  gone.NeedsCheck = 1;
  EXPECT_FALSE(URLPassesFilters(onlyDownloaded, TMimeFilter{}, gone));
  EXPECT_EQ(gone.Status, usDeleted);
  SetLocalWebDir("");
}

}  // namespace
}  // namespace qv
