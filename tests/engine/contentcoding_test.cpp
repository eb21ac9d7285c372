// Bodies in a content coding, as the HTTP client reads them from a scripted
// server: decoded into the caller's stream when whole and within bounds, a
// failure with its reason (and no bytes left behind) when not.

#include "engine/contentcoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/idhttpext.h"
#include "support/scratchdir.h"
#include "support/scriptedserver.h"
#include "support/zcoded.h"

namespace qv {
namespace {

using test::HttpReply;
using test::TScriptedConn;
using test::TScriptedServer;
using test::ZCoded;
using test::zGzip;
using test::zRawDeflate;
using test::zZlib;

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n) s += "<p>line " + std::to_string(s.size()) + " of a page</p>\n";
  s.resize(n);
  return s;
}

const std::string kPage = Text(50000);
const std::string kGz = ZCoded(kPage, zGzip);

std::string Coded(const std::string& coding, const std::string& body,
                  const char* type = "text/html") {
  return HttpReply("HTTP/1.1 200 OK", body,
                   {"Content-Type: " + std::string(type), "Content-Encoding: " + coding});
}

std::string Chunked(const std::string& head, const std::string& body, size_t pieces = 1000) {
  std::string r = head + "\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (size_t i = 0; i < body.size(); i += pieces) {
    const std::string piece = body.substr(i, pieces);
    char size[16];
    std::snprintf(size, sizeof size, "%zx", piece.size());
    r += std::string(size) + "\r\n" + piece + "\r\n";
  }
  return r + "0\r\n\r\n";
}

std::string Flipped(std::string s, size_t at) {
  s[at] = static_cast<char>(s[at] ^ 0x55);
  return s;
}

TEST(ContentCoding, NamesOfCodings) {
  struct Case {
    const char* value;
    TContentCoding coding;
  };
  const std::vector<Case> cases = {
      {"", TContentCoding::ccIdentity},
      {"identity", TContentCoding::ccIdentity},
      {"gzip", TContentCoding::ccGzip},
      {" GZip ", TContentCoding::ccGzip},
      {"x-gzip", TContentCoding::ccGzip},
      {"deflate", TContentCoding::ccDeflate},
      {"identity, gzip", TContentCoding::ccGzip},
      {"utf-8", TContentCoding::ccIdentity},
      {"br", TContentCoding::ccIdentity},
      {"gzip, gzip", TContentCoding::ccUnsupported},
      {"deflate, br", TContentCoding::ccUnsupported},
  };
  for (const Case& c : cases) EXPECT_EQ(ContentCodingOf(c.value), c.coding) << c.value;
}

// Each answer fetched into a file and as text: the document, or a failure
// whose reason names what went wrong, with nothing left in the file.
TEST(ContentCoding, TheClientStoresTheDocumentOrFailsWithTheReason) {
  const std::string small = "<html><body><a href=\"x.html\">x</a></body></html>";
  std::string bomb(40 << 20, '\0');
  const std::string bombGz = ZCoded(bomb, zGzip, 9);
  bomb.clear();
  struct Case {
    const char* name;
    std::string reply;
    std::string body;    // the document, for a success
    std::string reason;  // a text the failure's reason holds; "" for a success
    std::string decodedFrom;
    std::function<void(TIdHTTPExt&)> setup;
  };
  const std::vector<Case> cases = {
      {"gzip", Coded("gzip", kGz), kPage, "", "gzip", nullptr},
      {"x-gzip, chunked", Chunked("HTTP/1.1 200 OK\r\nContent-Encoding: x-gzip", kGz), kPage, "",
       "gzip", nullptr},
      {"deflate as zlib", Coded("deflate", ZCoded(kPage, zZlib)), kPage, "", "deflate", nullptr},
      {"deflate bare", Coded("deflate", ZCoded(kPage, zRawDeflate)), kPage, "", "deflate", nullptr},
      {"deflate bare, one byte at a time",
       Chunked("HTTP/1.1 200 OK\r\nContent-Encoding: deflate", ZCoded(small, zRawDeflate), 1),
       small, "", "deflate", nullptr},
      {"two gzip members", Coded("gzip", ZCoded("first ", zGzip) + ZCoded("second", zGzip)),
       "first second", "", "gzip", nullptr},
      {"bytes after the data", Coded("gzip", ZCoded(small, zGzip) + "\n\n"), small, "", "gzip",
       nullptr},
      {"empty", Coded("gzip", ""), "", "", "gzip", nullptr},
      {"closed at its end",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n" + kGz, kPage, "",
       "gzip", nullptr},
      {"a gzip file", Coded("gzip", kGz, "application/x-gzip"), kGz, "", "", nullptr},
      {"a coding we do not know", Coded("utf-8", small), small, "", "", nullptr},
      {"a part is not decoded",
       HttpReply(
           "HTTP/1.1 206 Partial Content", kGz.substr(0, 100),
           {"Content-Encoding: gzip", "Content-Range: bytes 0-99/" + std::to_string(kGz.size())}),
       kGz.substr(0, 100), "", "", nullptr},
      {"cut short", Coded("gzip", kGz.substr(0, kGz.size() / 2)), "",
       "Content-Encoding gzip: the body ends before its coded data does", "gzip", nullptr},
      {"cut in its trailer", Coded("gzip", kGz.substr(0, kGz.size() - 3)), "",
       "Content-Encoding gzip: the body ends before its coded data does", "gzip", nullptr},
      {"deflate cut short", Coded("deflate", ZCoded(kPage, zZlib).substr(0, 200)), "",
       "Content-Encoding deflate: the body ends before its coded data does", "deflate", nullptr},
      {"corrupt", Coded("gzip", Flipped(kGz, kGz.size() / 3)), "",
       "Content-Encoding gzip: the body does not decode", "gzip", nullptr},
      {"wrong check sum", Coded("gzip", Flipped(kGz, kGz.size() - 6)), "",
       "Content-Encoding gzip: the body does not decode (incorrect data check)", "gzip", nullptr},
      {"not gzip at all", Coded("gzip", small), "",
       "Content-Encoding gzip: the body does not decode", "gzip", nullptr},
      {"too many codings", Coded("gzip, gzip", ZCoded(kGz, zGzip)), "",
       "Content-Encoding not supported: gzip, gzip", "", nullptr},
      {"a bomb", Coded("gzip", bombGz, "application/octet-stream"), "",
       "Content-Encoding gzip: decoded body over 200 times its coded size", "gzip", nullptr},
      {"over the cap", Coded("gzip", kGz), "",
       "Content-Encoding gzip: decoded body over 1000 bytes", "gzip",
       [](TIdHTTPExt& h) { h.MaxDecodedBody = 1000; }},
      {"a failure's page stays a status",
       HttpReply("HTTP/1.1 404 Not Found", "not gzip", {"Content-Encoding: gzip"}), "",
       "404 Not Found", "", nullptr},
  };
  test::TScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool toFile : {true, false}) {
      SCOPED_TRACE(toFile ? "into a file" : "as text");
      TScriptedServer server([&c](TScriptedConn& conn) {
        if (!conn.ReadRequest().empty()) conn.Send(c.reply);
      });
      TIdHTTPExt h;
      if (c.setup) c.setup(h);
      const std::string file = dir / "body";
      std::string text;
      const bool ok =
          toFile ? h.GetExt(server.Url("/page"), file) : h.GetText(server.Url("/page"), text);
      const std::string got = toFile ? test::ReadBytes(file) : text;
      EXPECT_EQ(h.BodyDecodedFrom, c.decodedFrom);
      if (c.reason.empty()) {
        EXPECT_TRUE(ok) << h.LastFailure.Text;
        EXPECT_EQ(got.size(), c.body.size());
        EXPECT_TRUE(got == c.body);
      } else {
        EXPECT_FALSE(ok);
        EXPECT_NE(h.LastFailure.Text.find(c.reason), std::string::npos) << h.LastFailure.Text;
        EXPECT_EQ(got.size(), 0u);
      }
    }
  }
}

}  // namespace
}  // namespace qv
