#include "model/vkmime.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qv {
namespace {

struct TMimeCase {
  const char* Name;
  const char* Type;
  const char* Ext;
  const char* Want;
};

const TMimeCase MimeCases[] = {
    {"parameters dropped, listed ext kept", "text/html; charset=iso-8859-1", ".htm", ".htm"},
    {"unlisted ext gives default", "text/html", ".asp", ".html"},
    {"type case ignored, no ext", "TEXT/HTML", "", ".html"},
    {"listed ext keeps its own case", "image/jpeg", ".JPG", ".JPG"},
    {"other type's ext replaced", "image/jpeg", ".gif", ".jpg"},
    {"octet-stream keeps any ext", "application/octet-stream", ".dat", ".dat"},
    {"octet-stream without ext", "application/octet-stream", "", ".exe"},
    {"octet-stream in upper case keeps ext", "Application/Octet-Stream ; x", ".dat", ".dat"},
    {"css keeps .css", "text/css", ".css", ".css"},
    {"css own ext in other case", "text/css", ".CSS", ".CSS"},
    {"css from a script's address", "text/css; charset=utf-8", ".php", ".css"},
    {"css under the earlier .ccs name", "text/css", ".ccs", ".css"},
    {"unknown type", "application/x-unknown", ".x", ""},
    {"empty type", "", ".html", ""},
    {"blank-only type", "  ; charset=x", ".html", ""},
    {"blanks before parameter", "image/gif ; x=y", "", ".gif"},
    {"surrounding blanks and tab", " \timage/gif\t", ".GIF", ".GIF"},
    {"postscript keeps .eps", "application/postscript", ".eps", ".eps"},
    {"x-eps replaces .ps", "image/x-eps", ".ps", ".eps"},
    {"first listed ext kept", "text/html", ".shtml", ".shtml"},
    {"single-ext type", "application/x-perl", ".txt", ".pl"},
    {"last type of table", "text/css", "", ".css"},
    {"first type of table", "text/plain", ".log", ".txt"},
    {"rtf under richtext", "text/richtext", ".doc", ".rtf"},
    {"prefix of a type is not the type", "text/htm", ".htm", ""},
    {"type with trailing junk", "text/htmlx", "", ""},
};

TEST(ExtForMimeType, Table) {
  for (const auto& c : MimeCases) {
    EXPECT_EQ(ExtForMimeType(c.Type, c.Ext), c.Want) << c.Name;
  }
}

TEST(ExtForMimeType, TableShape) {
  ASSERT_EQ(MimeTableCount, 67);
  EXPECT_STREQ(MimeTable[MimeTableCount].MimeType, "");
  EXPECT_STREQ(MimeTable[MimeTableCount].Ext, "");
  // Rows of one type must stand together, or the walk would answer with a
  // default taken from the first run of rows.
  std::set<std::string> finished;
  for (int i = 0; i < MimeTableCount; ++i) {
    std::string t = MimeTable[i].MimeType;
    EXPECT_EQ(finished.count(t), 0u) << t << " appears in two runs";
    if (std::string(MimeTable[i + 1].MimeType) != t) finished.insert(t);
  }
}

// Whatever the URL says, the answer is an extension of the asked type (or the
// URL's own under octet-stream): a body is never stored as another kind.
TEST(ExtForMimeType, NeverAnotherTypesExtension) {
  std::vector<std::string> exts = {"", ".x", ".HTML", ".Jpg", ".eps", ".rtf", ".css"};
  for (int i = 0; i < MimeTableCount; ++i) exts.push_back(MimeTable[i].Ext);
  for (int i = 0; i < MimeTableCount; ++i) {
    const std::string type = MimeTable[i].MimeType;
    std::set<std::string> allowed;
    for (int j = 0; j < MimeTableCount; ++j)
      if (type == MimeTable[j].MimeType) allowed.insert(MimeTable[j].Ext);
    for (const auto& e : exts) {
      std::string got = ExtForMimeType(type, e);
      if (type == "application/octet-stream" && !e.empty()) {
        EXPECT_EQ(got, e);
        continue;
      }
      std::string lower = got;
      for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(allowed.count(lower), 1u) << type << " with " << e << " gave " << got;
    }
  }
}

}  // namespace
}  // namespace qv
