// The download thread on real transfers from in-process scripted servers:
// exact request bytes, and the faults a real server will not make.

#include "engine/dlthread.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "engine/cookielist.h"
#include "engine/dialupdialog.h"
#include "engine/dnlist.h"
#include "engine/robots.h"
#include "engine/urladder.h"
#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkcache.h"
#include "model/vkfile.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/dljob.h"
#include "support/filesizelimit.h"
#include "support/manualloop.h"
#include "support/scratchdir.h"
#include "support/scriptedftp.h"
#include "support/scriptedserver.h"
#include "support/unprivileged.h"
#include "support/zcoded.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;
using test::TScriptedConn;
using test::TScriptedReply;
using test::TScriptedServer;
namespace fs = std::filesystem;
using test::ReadAll;
using DLThreadTest = test::TDLJobTest;

const char* const kDate = "Tue, 01 Dec 2026 10:00:00 GMT";
const char* const kOtherDate = "Wed, 02 Dec 2026 10:00:00 GMT";

std::string Document(size_t n) {
  std::string d(n, '\0');
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return d;
}

// --- resume ---

struct TResumeCase {
  const char* Name;
  size_t Partial;                    // bytes of the ".tmp" before the run
  std::vector<std::string> Replies;  // in order
  bool FirstHasRange;                // the first request asks for the rest
  size_t Requests;                   // requests the item takes
};

class DLResumeTest : public DLThreadTest, public ::testing::WithParamInterface<TResumeCase> {};

const std::string kDoc = Document(30000);
const std::vector<std::string> kWhole = {"Last-Modified: " + std::string(kDate),
                                         "Content-Type: application/octet-stream"};

std::string Partial206(size_t start, const std::vector<std::string>& extra) {
  std::vector<std::string> h = extra;
  h.push_back("Content-Type: application/octet-stream");
  return HttpReply("HTTP/1.1 206 Partial Content", kDoc.substr(start), h);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DLResumeTest,
    ::testing::Values(
        TResumeCase{"Continues",
                    25000,
                    {Partial206(25000, {"Content-Range: bytes 25000-29999/30000",
                                        "Last-Modified: " + std::string(kDate)})},
                    true,
                    1},
        TResumeCase{
            "SmallPartialAfresh", 19999, {HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)}, false, 1},
        TResumeCase{
            "WholeAnswerReplaces", 25000, {HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)}, true, 1},
        TResumeCase{"WrongStartStartsOver",
                    25000,
                    {Partial206(24000, {"Content-Range: bytes 24000-29999/30000"}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"NoContentRangeStartsOver",
                    25000,
                    {Partial206(25000, {}), HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"ShortOfTheEndStartsOver",
                    25000,
                    {HttpReply("HTTP/1.1 206 Partial Content", kDoc.substr(25000, 4000),
                               {"Content-Range: bytes 25000-28999/30000"}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"LongerThanItsRangeStartsOver",
                    25000,
                    {HttpReply("HTTP/1.1 206 Partial Content", kDoc.substr(25000) + "more",
                               {"Content-Range: bytes 25000-29999/30000"}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"OtherTotalStartsOver",
                    25000,
                    {Partial206(25000, {"Content-Range: bytes 25000-29999/31000"}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"MultipartStartsOver",
                    25000,
                    {HttpReply("HTTP/1.1 206 Partial Content", kDoc.substr(25000),
                               {"Content-Type: multipart/byteranges; boundary=x",
                                "Content-Range: bytes 25000-29999/30000"}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"UnsatisfiableFetchesWhole",
                    25000,
                    {HttpReply("HTTP/1.1 416 Range Not Satisfiable", ""),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2},
        TResumeCase{"ChangedDocumentFetchesWhole",
                    25000,
                    {Partial206(25000, {"Content-Range: bytes 25000-29999/30000",
                                        "Last-Modified: " + std::string(kOtherDate)}),
                     HttpReply("HTTP/1.1 200 OK", kDoc, kWhole)},
                    true,
                    2}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_P(DLResumeTest, JoinsOnlyWhatContinuesThePartial) {
  const TResumeCase& c = GetParam();
  std::vector<TScriptedReply> replies(c.Replies.begin(), c.Replies.end());
  TScriptedServer server(TScriptedServer::Replies(replies));
  const std::string url = server.Url("/file.bin");
  // The partial of an earlier run, whose headers were stored beside it.
  Store(url, "Data.tmp", kDoc.substr(0, c.Partial));
  Store(url, "Head.txt",
        "Content-Type: application/octet-stream\r\nContent-Length: 30000\r\nLast-Modified: " +
            std::string(kDate) + "\r\n");
  RunJob({url});
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), c.Requests);
  const std::string range = "\r\nRange: bytes=" + std::to_string(c.Partial) + "-\r\n";
  EXPECT_EQ(requests[0].find(range) != std::string::npos, c.FirstHasRange) << requests[0];
  if (c.FirstHasRange) {
    EXPECT_NE(requests[0].find(std::string("\r\nIf-Range: ") + kDate + "\r\n"), std::string::npos);
    // The rest of the document's own bytes, not of a coding of them.
    EXPECT_EQ(requests[0].find("Accept-Encoding"), std::string::npos);
  }
  if (requests.size() > 1) {
    EXPECT_EQ(requests[1].find("Range:"), std::string::npos);
  }
  const std::string body = ReadAll(Local(url, "Data", ".bin"));
  EXPECT_TRUE(body == kDoc) << "a body of " << body.size() << " bytes";
  EXPECT_EQ(Files(url), (std::set<std::string>{"Data.bin", "Head.txt"}));
  EXPECT_EQ(Listed(url).Status, usDownloaded);
}

TEST_F(DLThreadTest, ResetInResumeKeepsBothPartsForTheNextRun) {
  TScriptedServer server([](TScriptedConn& c) {
    c.ReadRequest();
    c.Send(
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 25000-29999/30000\r\n"
        "Content-Length: 5000\r\n\r\n" +
        kDoc.substr(25000, 1000));
    c.Reset();
  });
  const std::string url = server.Url("/file.bin");
  Store(url, "Data.tmp", kDoc.substr(0, 25000));
  RunJob({url});
  const std::string partial = ReadAll(Local(url, "Data", ".tmp"));
  EXPECT_TRUE(partial == kDoc.substr(0, 26000)) << "a partial of " << partial.size() << " bytes";
  EXPECT_FALSE(fs::exists(Local(url, "Data", ".tm2")));
  EXPECT_EQ(Listed(url).Status, usFailed);
}

// A process killed in the middle of a body gets no chance to store its
// headers, and a partial without them is resumed unchecked: onto whatever
// the server holds by then. So a new body's headers are stored as soon as
// its partial is worth keeping, while it still arrives; a body already
// stored keeps its own.
TEST_F(DLThreadTest, APartialHasItsHeadersWhileTheBodyStillArrives) {
  for (const bool stored : {false, true}) {
    SCOPED_TRACE(stored ? "over a stored body" : "a new body");
    std::atomic<bool> seen{false};
    std::string head;  // the server thread's own
    std::string url;
    TScriptedServer server([&](TScriptedConn& c) {
      c.ReadRequest();
      c.Send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\nETag: \"v2\"\r\n\r\n" +
             kDoc.substr(0, 25000));
      // A new body is held here, unfinished, as a kill would find it, until
      // its headers are stored (the bound only ends a failing run).
      for (int i = 0; !stored && i < 6000 && !seen; ++i) {
        head = test::ReadBytes(Local(url, "Head", ".txt"));
        seen = head.find("\"v2\"") != std::string::npos;
        if (!seen) std::this_thread::sleep_for(10ms);
      }
      c.Reset();
    });
    url = server.Url(stored ? "/old.bin" : "/new.bin");
    if (stored) {
      Store(url, "Data.bin", "old body");
      Store(url, "Head.txt", "ETag: \"v1\"\r\n");
    }
    RunJob({url});
    EXPECT_EQ(seen.load(), !stored);
    EXPECT_EQ(ReadAll(Local(url, "Data", ".tmp")).size(), 25000u);
    if (stored) {
      EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "old body");
      EXPECT_EQ(ReadAll(Local(url, "Head", ".txt")), "ETag: \"v1\"\r\n");
    }
    Thread.reset();
  }
}

// robots.txt is read whole into memory once it arrives: a cut one keeps no
// partial, and one left by an earlier run is not resumed, so a server that
// never ends it cannot grow it by a bounded fetch each run.
TEST_F(DLThreadTest, ARobotsTxtIsNeverResumed) {
  TScriptedServer server([&](TScriptedConn& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + kDoc.substr(0, 25000));
    c.Reset();
  });
  const std::string url = server.Url("/robots.txt");
  Store(url, "Data.tmp", kDoc.substr(0, 25000));
  RunJob({url});
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].find("Range:"), std::string::npos) << server.Requests()[0];
  EXPECT_EQ(Listed(url).Status, usFailed);
  // Its headers are recorded as for any failed fetch; no body part is kept.
  EXPECT_EQ(Files(url), std::set<std::string>{"Head.txt"});
}

TEST_F(DLThreadTest, LeftoverResumeFileIsTakenUpAgain) {
  TScriptedServer server(
      TScriptedServer::Replies({Partial206(25000, {"Content-Range: bytes 25000-29999/30000"})}));
  const std::string url = server.Url("/file.bin");
  // A run that ended between the rename and the join.
  Store(url, "Data.tm2", kDoc.substr(0, 25000));
  Store(url, "Data.tmp", "unchecked bytes");
  RunJob({url});
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find("Range: bytes=25000-"), std::string::npos);
  const std::string body = ReadAll(Local(url, "Data", ".bin"));
  EXPECT_TRUE(body == kDoc) << "a body of " << body.size() << " bytes";
}

// A host the job found dead ends the item before any request is made: the
// partial waiting for its resume goes back as it was.
TEST_F(DLThreadTest, DeadHostLeavesThePartialAsItWas) {
  TScriptedServer server(TScriptedServer::Replies({}));
  const std::string url = server.Url("/file.bin");
  Store(url, "Data.tmp", kDoc.substr(0, 25000));
  AfterStartJob = [&] { JobHostList()->FindOrAdd(HostOf(url))->SetState(dnNotFound); };
  RunJob({url});
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(Listed(url).Details, "Host not found");
  EXPECT_EQ(Files(url), std::set<std::string>{"Data.tmp"});
  EXPECT_TRUE(ReadAll(Local(url, "Data", ".tmp")) == kDoc.substr(0, 25000));
}

// --- the stored copy survives ---

struct TSurviveCase {
  const char* Name;
  std::function<void(TScriptedConn&)> Serve;
  uint8_t Status;       // the item's list status afterwards
  const char* Details;  // its details; "" any
};

// A 200 whose body is in a content coding.
std::function<void(TScriptedConn&)> CodedAnswer(const std::string& coding,
                                                const std::string& body) {
  return [=](TScriptedConn& c) {
    c.ReadRequest();
    c.Send(HttpReply("HTTP/1.1 200 OK", body,
                     {"Content-Type: application/octet-stream", "Content-Encoding: " + coding}));
  };
}

const std::string kGzDoc = test::Gzipped(kDoc);

class DLSurviveTest : public DLThreadTest, public ::testing::WithParamInterface<TSurviveCase> {};

INSTANTIATE_TEST_SUITE_P(
    Table, DLSurviveTest,
    ::testing::Values(
        TSurviveCase{"ResetMidBody",
                     [](TScriptedConn& c) {
                       c.ReadRequest();
                       c.Send("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" +
                              std::string(3000, 'n'));
                       c.Reset();
                     },
                     30, ""},
        TSurviveCase{"NotFound",
                     [](TScriptedConn& c) {
                       c.ReadRequest();
                       c.Send(HttpReply("HTTP/1.1 404 Not Found", "gone",
                                        {"Content-Type: text/html"}));
                     },
                     30, "Not Found (404)"},
        TSurviveCase{"UnaskedPartial",
                     [](TScriptedConn& c) {
                       c.ReadRequest();
                       c.Send(HttpReply("HTTP/1.1 206 Partial Content", std::string(25000, 'p'),
                                        {"Content-Range: bytes 0-24999/90000"}));
                     },
                     30, ""},
        TSurviveCase{"NotModified",
                     [](TScriptedConn& c) {
                       c.ReadRequest();
                       c.Send("HTTP/1.1 304 Not Modified\r\nContent-Type: text/html\r\n\r\n");
                     },
                     50, "Not Modified (304)"},
        TSurviveCase{"CodedBodyCutShort", CodedAnswer("gzip", kGzDoc.substr(0, kGzDoc.size() - 8)),
                     30, "Content-Encoding gzip: the body ends before its coded data does"},
        TSurviveCase{"CodedBodyCorrupt", CodedAnswer("deflate", "\x78\x9c" + kGzDoc.substr(10)), 30,
                     "Content-Encoding deflate: the body does not decode (incorrect data check)"},
        TSurviveCase{"CodedBodyOverItsRatio",
                     CodedAnswer("gzip", test::Gzipped(std::string(30 << 20, 0))), 30,
                     "Content-Encoding gzip: decoded body over 200 times its coded "
                     "size"}),
    [](const auto& info) { return std::string(info.param.Name); });

const std::string kOldHead =
    "Content-Type: application/octet-stream\r\nLast-Modified: " + std::string(kDate) + "\r\n";

TEST_P(DLSurviveTest, StoredBodyAndHeadersStayByteForByte) {
  TScriptedServer server(GetParam().Serve);
  const std::string url = server.Url("/keep.bin");
  Store(url, "Data.bin", "the good copy");
  Store(url, "Head.txt", kOldHead);
  const auto before = fs::last_write_time(Local(url, "Data", ".bin"));
  RunJob({url});
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find(std::string("\r\nIf-Modified-Since:") + kDate + "\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "the good copy");
  EXPECT_EQ(ReadAll(Local(url, "Head", ".txt")), kOldHead);
  EXPECT_EQ(fs::last_write_time(Local(url, "Data", ".bin")), before);
  EXPECT_EQ(Files(url), (std::set<std::string>{"Data.bin", "Head.txt"}));
  EXPECT_EQ(Listed(url).Status, GetParam().Status);
  if (*GetParam().Details) {
    EXPECT_EQ(Listed(url).Details, GetParam().Details);
  }
}

// A coded body is stored as the document it holds, and recorded by that size,
// whether it was asked for or not. A request asks for gzip unless the coded
// length would mislead the size filter.
TEST_F(DLThreadTest, CodedBodyIsStoredDecodedAskedOrNot) {
  const std::string page = "<html><head></head><body>" + kDoc + "</body></html>";
  struct Case {
    const char* name;
    std::string type, coding, coded, stored, ext;
    bool sizeFilter, asked;
  };
  const std::vector<Case> cases = {
      {"gzip, asked", "text/html", "gzip", test::Gzipped(page), page, ".html", false, true},
      {"deflate, unasked", "text/plain", "deflate", test::ZCoded(kDoc, test::zRawDeflate), kDoc,
       ".txt", false, true},
      {"gzip, unasked beside a size filter", "text/plain", "x-gzip", test::Gzipped(kDoc), kDoc,
       ".txt", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TViewFilter filter;
    filter.MaxSizeEd = c.sizeFilter ? "1000" : "0";  // KB
    Filter.Publish(std::make_shared<const TViewFilter>(filter));
    const std::string reply = HttpReply(
        "HTTP/1.1 200 OK", c.coded, {"Content-Type: " + c.type, "Content-Encoding: " + c.coding});
    TScriptedServer server(TScriptedServer::Replies({reply}));
    const std::string url = server.Url("/doc");
    RunJob({url});
    Thread.reset();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].find("\r\nAccept-Encoding: gzip\r\n") != std::string::npos,
              c.asked)
        << server.Requests()[0];
    EXPECT_TRUE(ReadAll(Local(url, "Data", c.ext.c_str())) == c.stored);
    EXPECT_EQ(ReadAll(Local(url, "Head", ".txt")), reply.substr(17, reply.find("\r\n\r\n") - 15));
    EXPECT_EQ(Files(url), (std::set<std::string>{"Data" + c.ext, "Head.txt"}));
    EXPECT_EQ(Listed(url).Status, 50);
    EXPECT_EQ(Listed(url).Details, "OK (200)");
    EXPECT_EQ(Listed(url).Size, static_cast<int32_t>(c.stored.size()));
  }
}

TEST_F(DLThreadTest, FullDiskKeepsTheStoredBody) {
  const std::string big(200000, 'x');
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", big)}));
  const std::string url = server.Url("/keep.bin");
  Store(url, "Data.bin", "the good copy");
  {
    test::TFileSizeLimit limit(50000);
    RunJob({url});
  }
  EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "the good copy");
  EXPECT_NE(Listed(url).Status, usDownloaded);
}

TEST_F(DLThreadTest, ReadOnlyFolderKeepsTheStoredBody) {
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", "new")}));
  const std::string url = server.Url("/keep.bin");
  Store(url, "Data.bin", "the good copy");
  ::chmod(Folder(url).c_str(), 0555);
  {
    test::TUnprivileged user(Root.Path);
    if (!user.Ok()) GTEST_SKIP() << "cannot leave root, who writes into read-only folders";
    RunJob({url});
  }
  ::chmod(Folder(url).c_str(), 0755);
  EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "the good copy");
  EXPECT_EQ(Listed(url).Status, usFailed);
}

TEST_F(DLThreadTest, NotModifiedWithoutStoredCopyFailsAndStoresNothing) {
  TScriptedServer server(
      TScriptedServer::Replies({"HTTP/1.1 304 Not Modified\r\nContent-Type: text/html\r\n\r\n"}));
  const std::string url = server.Url("/never.html");
  RunJob({url});
  EXPECT_EQ(Listed(url).Status, usFailed);
  EXPECT_TRUE(Files(url).empty());
}

// "/sub" and "/sub/" are one record and one stored file; the record keeps
// the form met first. A page fetched under the other form carries the
// address it came from, which its links are read against when localised.
TEST_F(DLThreadTest, APageFetchedUnderTheOtherSlashFormOfItsRecordCarriesItsAddress) {
  for (const bool listedWithSlash : {false, true}) {
    SCOPED_TRACE(listedWithSlash ? "listed as /sub/" : "listed as /sub");
    TScriptedServer server(TScriptedServer::Replies(
        {HttpReply("HTTP/1.1 200 OK", "<html><head></head><a href=x.html>x</a></html>",
                   {"Content-Type: text/html"})}));
    const std::string listed = server.Url(listedWithSlash ? "/sub/" : "/sub");
    const std::string fetched = server.Url(listedWithSlash ? "/sub" : "/sub/");
    {
      std::lock_guard<TCriticalSection> g(*URLListLock);
      GlobalURLList->ClearItems();
      TVkURLItem r;
      r.URL = listed;
      GlobalURLList->AddItem(r, false);
    }
    RunJob({fetched});
    Thread.reset();
    EXPECT_EQ(Listed(listed).Status, usDownloaded);
    EXPECT_EQ(ReadAll(Local(fetched, "Data", "")), "<html><head>\n<!--TvBASE HREF=\"" + fetched +
                                                       "\"-->\n</head><a href=x.html>x</a></html>");
  }
}

TEST_F(DLThreadTest, ChangedContentTypeLeavesOneBody) {
  TScriptedServer server(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 200 OK", "<html><head></head>one</html>", {"Content-Type: text/html"}),
       HttpReply("HTTP/1.1 200 OK", "two", {"Content-Type: text/plain"})}));
  const std::string url = server.Url("/doc");
  RunJob({url});
  const auto first = Files(url);
  Thread.reset();
  RunJob({url});
  const auto second = Files(url);
  EXPECT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u) << "one body and its headers";
  EXPECT_EQ(second.count("Head.txt"), 1u);
  EXPECT_EQ(ReadAll(Local(url, "Data", "")), "two");
}

TEST_F(DLThreadTest, OlderBodiesKeptAsSequenceFiles) {
  Options.NeverDLChk = false;
  Options.SeqDLChk = true;
  TScriptedServer server(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 200 OK", "one"), HttpReply("HTTP/1.1 200 OK", "two"),
       HttpReply("HTTP/1.1 200 OK", "three"),
       // A new content type names the body anew; the older body is kept all the same.
       HttpReply("HTTP/1.1 200 OK", "four", {"Content-Type: text/plain"})}));
  const std::string url = server.Url("/seq.bin");
  for (int run = 0; run < 3; ++run) {
    RunJob({url});
    Thread.reset();
  }
  EXPECT_EQ(Files(url), (std::set<std::string>{"AAAA.bin", "AAAB.bin", "Data.bin", "Head.txt"}));
  EXPECT_EQ(ReadAll(Folder(url) + "/AAAA.bin"), "one");
  EXPECT_EQ(ReadAll(Folder(url) + "/AAAB.bin"), "two");
  EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "three");
  RunJob({url});
  EXPECT_EQ(Files(url),
            (std::set<std::string>{"AAAA.bin", "AAAB.bin", "AAAC.bin", "Data.txt", "Head.txt"}));
  EXPECT_EQ(ReadAll(Folder(url) + "/AAAC.bin"), "three");
  EXPECT_EQ(ReadAll(Local(url, "Data", ".txt")), "four");
}

TEST_F(DLThreadTest, FileErrorFailsOnlyItsItem) {
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", "next")}));
  const std::string broken = server.Url("/broken.bin");
  const std::string next = server.Url("/next.bin");
  // The partial cannot move out of the download's way: a folder holds the
  // name it would move to.
  Store(broken, "Data.tmp", kDoc.substr(0, 25000));
  fs::create_directories(Folder(broken) + "/Data.tm2/x");
  RunJob({broken, next});
  EXPECT_EQ(Listed(broken).Details, "Could not create local file");
  EXPECT_EQ(fs::file_size(Local(broken, "Data", ".tmp")), 25000u) << "the partial stays";
  EXPECT_EQ(ReadAll(Local(next, "Data", ".bin")), "next");
  EXPECT_EQ(Listed(next).Status, usDownloaded);
}

TEST_F(DLThreadTest, SizeFilteredItemIsNotRetried) {
  TViewFilter filter;
  filter.MaxSizeEd = "1";  // KB
  Filter.Publish(std::make_shared<const TViewFilter>(filter));
  TScriptedServer server(
      TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", std::string(5000, 'b'))}));
  const std::string url = server.Url("/big.bin");
  TActiveDL item;
  item.URL = url;
  item.RetriesLeft = 3;
  Queue.Add(item, false);
  RunJob({});
  EXPECT_EQ(Listed(url).Details, "Size filtered");
  std::lock_guard<TSpinningMutex> g(JobLock);
  EXPECT_EQ(RetryList.Count(), 0);
  EXPECT_EQ(Queue.Count(), 0);
}

// --- cache ---

TEST_F(DLThreadTest, CachedCopyFillsAnEmptyMirror) {
  TScriptedServer server(TScriptedServer::Replies({}));
  const std::string url = server.Url("/cached.bin");
  ASSERT_EQ(WriteCacheFile("Data", url, "from the cache", ".bin"), 1);
  ASSERT_EQ(WriteCacheFile("Head", url, "Content-Type: application/octet-stream\r\n", ".txt"), 1);
  RunJob({url});  // "Never download existing files" is on
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")), "from the cache");
  EXPECT_EQ(Listed(url).Status, usDownloaded);
}

// The cache stands in for the mirror copy only when its date shows it is
// not older; otherwise the item is asked of the server as usual.
TEST_F(DLThreadTest, CachedCopyNeverReplacesANewerMirrorCopy) {
  const auto head = [](const std::string& date) {
    return "Content-Type: application/octet-stream\r\n" +
           (date.empty() ? std::string() : "Last-Modified: " + date + "\r\n");
  };
  struct Case {
    const char* name;
    std::string mirrorDate, cacheDate;  // "" = none
    bool cacheTaken;
    size_t requests;
  } cases[] = {
      {"an older cached copy", kOtherDate, kDate, false, 1},
      {"a mirror copy without a date", "", kDate, false, 1},
      {"a cached copy without a date", kOtherDate, "", false, 1},
      // The same document: the mirror's copy (localised since, perhaps)
      // stays as it is, and counts as the cached one.
      {"a cached copy of the same date", kOtherDate, kOtherDate, false, 0},
      {"a newer cached copy", kDate, kOtherDate, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedServer server(
        TScriptedServer::Replies({"HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n"}));
    const std::string url = server.Url("/cached.bin");
    Store(url, "Data.bin", "the mirror copy");
    Store(url, "Head.txt", head(c.mirrorDate));
    ASSERT_EQ(WriteCacheFile("Data", url, "the cached copy", ".bin"), 1);
    ASSERT_EQ(WriteCacheFile("Head", url, head(c.cacheDate), ".txt"), 1);
    RunJob({url});
    Thread.reset();
    EXPECT_EQ(ReadAll(Local(url, "Data", ".bin")),
              c.cacheTaken ? "the cached copy" : "the mirror copy");
    EXPECT_EQ(ReadAll(Local(url, "Head", ".txt")), head(c.cacheTaken ? c.cacheDate : c.mirrorDate));
    // "Never download existing files" is on: a copy taken from the cache is
    // not asked for; an older one left in place is asked for conditionally.
    ASSERT_EQ(server.Requests().size(), c.requests);
    if (c.requests > 0 && !c.mirrorDate.empty()) {
      EXPECT_NE(server.Requests()[0].find("\r\nIf-Modified-Since:" + c.mirrorDate + "\r\n"),
                std::string::npos);
    }
  }
}

// --- hops ---

TEST_F(DLThreadTest, RedirectToAnotherHostTakesNoCookieOrCredentials) {
  TScriptedServer second(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 200 OK", "<html><head><title>t</title></head>x</html>",
                 {"Content-Type: text/html"})}));
  const std::string target = "http://localhost:" + std::to_string(second.Port()) + "/final.html";
  TScriptedServer first(TScriptedServer::Replies(
      {"HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n"}));
  const std::string url = first.Url("/start.html");
  TPassWordList grid;
  grid.Rows.push_back({first.Url("/"), "alice", "secret"});
  PassWords.Publish(std::make_shared<const TPassWordList>(grid));
  AfterStartJob = [&] { JobCookieList()->ParseSetCookie("sid=1", url); };
  RunJob({url});
  ASSERT_EQ(first.Requests().size(), 1u);
  ASSERT_EQ(second.Requests().size(), 1u);
  EXPECT_NE(first.Requests()[0].find("\r\nCookie:sid=1\r\n"), std::string::npos)
      << first.Requests()[0];
  EXPECT_NE(first.Requests()[0].find("\r\nAuthorization: Basic "), std::string::npos);
  EXPECT_EQ(second.Requests()[0].find("Cookie"), std::string::npos) << second.Requests()[0];
  EXPECT_EQ(second.Requests()[0].find("Authorization"), std::string::npos);
  const std::string page = ReadAll(Local(url, "Data", ""));
  EXPECT_NE(page.find(target), std::string::npos) << page;
  EXPECT_EQ(Listed(url).Status, usDownloaded);
}

TEST_F(DLThreadTest, ContentLocationNamingItselfEndsTheHops) {
  TScriptedServer server([](TScriptedConn& c) {
    while (!c.ReadRequest().empty())
      c.Send(HttpReply("HTTP/1.1 200 OK", "body",
                       {"Content-Type: text/plain", "Content-Location: /self.txt"}));
  });
  const std::string url = server.Url("/self.txt");
  RunJob({url});
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(ReadAll(Local(url, "Data", "")), "body");
}

// --- robots ---

TEST_F(DLThreadTest, DisallowedURLIsNotRequested) {
  Options.EnterNoRobChk = false;
  TScriptedServer server(TScriptedServer::Replies({HttpReply("HTTP/1.1 200 OK", "x")}));
  const std::string url = server.Url("/private/a.html");
  Robots.AddSite(URLSite(url));
  Robots.ParseRobotsTxt(URLSite(url), "User-agent: *\nDisallow: /private/\n", "QvTest");
  RunJob({url});
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(Listed(url).Details, "Robot keep out zone");
}

// With no agent set, requests name the program, and robots.txt groups are
// matched against that same name (its product token, RFC 9309 2.2.1).
TEST_F(DLThreadTest, RequestsNameTheProgramWhenNoAgentIsSet) {
  struct Case {
    const char* name;
    std::string setting, sent;
    bool publicFetched;  // the group for the agent sent applies, not the one for all
  };
  const std::vector<Case> cases = {
      {"empty", "", "Quendravilos/1.32", true},
      {"blanks", "  ", "Quendravilos/1.32", true},
      {"set", "OtherBot/2.0", "OtherBot/2.0", false},
  };
  Options.EnterNoRobChk = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Options.UserAgEd = c.setting;
    TScriptedServer server([](TScriptedConn& conn) {
      for (std::string r; !(r = conn.ReadRequest()).empty();)
        conn.Send(r.rfind("GET /robots.txt ", 0) == 0
                      ? HttpReply("HTTP/1.1 200 OK",
                                  "User-agent: quendravilos\nDisallow: /private/\n\n"
                                  "User-agent: *\nDisallow: /\n",
                                  {"Content-Type: text/plain"})
                      : HttpReply("HTTP/1.1 200 OK", "doc", {"Content-Type: text/plain"}));
    });
    const std::string open = server.Url("/public.txt"), closed = server.Url("/private/a.txt");
    RunJob({open, closed});
    Thread.reset();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), c.publicFetched ? 2u : 1u);
    for (const std::string& r : requests)
      EXPECT_NE(r.find("\r\nUser-Agent: " + c.sent + "\r\n"), std::string::npos) << r;
    EXPECT_EQ(Listed(open).Status, c.publicFetched ? 50 : 30);
    EXPECT_EQ(Listed(closed).Details, "Robot keep out zone");
  }
}

// The size filter is for the files a job keeps: a robots.txt outside it is
// still read (filtered, it left the site without rules).
TEST_F(DLThreadTest, ARobotsTxtIsReadWhateverTheSizeFilter) {
  Options.EnterNoRobChk = false;
  TViewFilter filter;
  filter.MinSizeEd = "1000";
  Filter.Publish(std::make_shared<const TViewFilter>(filter));
  TScriptedServer server([](TScriptedConn& c) {
    for (std::string r; !(r = c.ReadRequest()).empty();) {
      if (r.rfind("GET /robots.txt ", 0) == 0)
        c.Send(HttpReply("HTTP/1.1 200 OK", "User-agent: *\nDisallow: /private/\n",
                         {"Content-Type: text/plain"}));
      else
        c.Send(HttpReply("HTTP/1.1 200 OK", std::string(3000, 'b')));
    }
  });
  const std::string kept = server.Url("/private/x.bin");
  const std::string big = server.Url("/big.bin");
  RunJob({kept, big});
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind("GET /robots.txt ", 0), 0u);
  EXPECT_EQ(requests[1].rfind("GET /big.bin ", 0), 0u);
  EXPECT_EQ(Listed(server.Url("/robots.txt")).Details, "OK (200)");
  EXPECT_EQ(Listed(kept).Details, "Robot keep out zone");
  EXPECT_EQ(Listed(big).Status, usDownloaded);
}

TEST_F(DLThreadTest, MissingRobotsTxtStillRecordsTheSite) {
  Options.EnterNoRobChk = false;
  TScriptedServer server(TScriptedServer::Replies(
      {HttpReply("HTTP/1.1 404 Not Found", ""), HttpReply("HTTP/1.1 200 OK", "doc")}));
  const std::string url = server.Url("/a.txt");
  RunJob({url});
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].rfind("GET /robots.txt ", 0), 0u);
  EXPECT_TRUE(Robots.HasSite(URLSite(url)));
  EXPECT_EQ(ReadAll(Local(url, "Data", "")), "doc");
}

// A failed item's details say why it failed: the status text when the
// answer's status was the failure, else the client's reason, never the
// status text of an answer that came but could not be taken.
TEST_F(DLThreadTest, AFailedFetchRecordsWhyItFailed) {
  struct Case {
    const char* name;
    std::string reply;  // to every request ("" = no server at all)
    std::string details;
    size_t requests;
  };
  const std::vector<Case> cases = {
      {"no server", "", "connect: Connection refused (SERVER)", 0},
      {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
       "Body truncated: the connection closed before its end", 1},
      {"broken chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       "Bad chunk size: zz", 1},
      {"a status", HttpReply("HTTP/1.1 404 Not Found", "gone"), "Not Found (404)", 1},
      // A target of another scheme is never asked of the server as a path.
      {"redirection to a file: URL",
       HttpReply("HTTP/1.1 302 Found", "", {"Location: file:///etc/passwd"}),
       "Request refused: not an http or https URL: file:///etc/passwd", 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A path of its own: a later server may get the port of an earlier one.
    const std::string path = "/case" + std::to_string(++n) + ".bin";
    std::string url;
    std::unique_ptr<TScriptedServer> server;
    if (c.reply.empty()) {
      TScriptedServer gone(TScriptedServer::Replies({}));
      url = gone.Url(path);
    } else {
      server = std::make_unique<TScriptedServer>([&c](TScriptedConn& conn) {
        if (!conn.ReadRequest().empty()) conn.Send(c.reply);
      });
      url = server->Url(path);
    }
    RunJob({url});
    std::string details = c.details;
    if (const size_t at = details.find("SERVER"); at != std::string::npos)
      details.replace(at, 6, URLSite(url).substr(std::string("http://").size()));
    EXPECT_EQ(Listed(url).Status, usFailed);
    EXPECT_EQ(Listed(url).Details, details);
    if (server) {
      EXPECT_EQ(server->Requests().size(), c.requests);
    }
    EXPECT_FALSE(fs::exists(Local(url, "Data", "")));
  }
}

// The same for FTP: a server's refusal is told by its reply code, a transfer
// that failed after a positive reply (226 for a file short of its announced
// size) by its own reason, not by the text of that reply.
TEST_F(DLThreadTest, AFailedFtpDownloadRecordsWhyItFailed) {
  struct Case {
    const char* name;
    const char* retrReply;
    std::string data;
    std::string details;
  };
  const std::vector<Case> cases = {
      {"short of the size announced", "150 Opening data connection for f.bin (10 bytes).\r\n",
       "abc", "Transfer ended short: 3 of 10 bytes"},
      {"refused", "550 No such file.\r\n", "", "Requested action not taken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TScriptedFtp server([&c](test::TScriptedFtp& s) {
      s.Reply("220 Hi.\r\n");
      test::ServeActiveRetr(s, c.retrReply, c.data);
      if (std::string(c.retrReply).rfind("150", 0) == 0) s.Reply("226 Done.\r\n");
      if (s.Until("QUIT") == "QUIT") s.Reply("221 Bye.\r\n");
    });
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port) + "/f.bin";
    RunJob({url});
    EXPECT_EQ(Listed(url).Status, usFailed);
    EXPECT_EQ(Listed(url).Details, c.details);
    EXPECT_FALSE(fs::exists(Local(url, "Data", "")));
  }
}

// Only a file makes a folder: a URL that stored nothing leaves none behind,
// by HTTP or by FTP, whatever kept it from its server.
TEST_F(DLThreadTest, AURLThatStoresNothingLeavesNoFolder) {
  // A port nothing listens on any more.
  const std::string closedPort =
      std::to_string(TScriptedServer(TScriptedServer::Replies({})).Port());
  const std::string refused = "http://127.0.0.1:" + closedPort + "/refused/page.html";
  const std::string dead = "http://localhost:" + closedPort + "/dead/page.html";
  TScriptedServer resets([](TScriptedConn& c) {
    c.ReadRequest();
    c.Reset();
  });
  test::TServerBehaviour file;
  file.File = "the file";
  test::TScriptedFtp ftp([&file](test::TScriptedFtp& s) { test::ServeFile(s, file); });
  const std::vector<std::string> urls = {
      refused,
      dead,
      resets.Url("/reset/page.html"),
      "http://no-such-host.invalid/a/b/c.html",
      "ftp://127.0.0.1:" + std::to_string(ftp.Port) + "/missing.bin",
      "ftp://127.0.0.1:" + closedPort + "/pub/refused.bin",
  };
  AfterStartJob = [&] { JobHostList()->FindOrAdd(HostOf(dead))->SetState(dnNotFound); };
  Options.DLRetriesUD = 0;
  RunJob(urls);
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    EXPECT_EQ(Listed(url).Status, 30) << Listed(url).Details;
    EXPECT_FALSE(fs::exists(Folder(url)));
  }
  EXPECT_EQ(test::EmptyFolders(Root.Path), std::vector<std::string>());
}

// A greeting without end is a failure of its own item, said once.
TEST_F(DLThreadTest, AnEndlessFtpGreetingFailsItsItem) {
  Options.DLRetriesUD = 0;
  for (const bool oneLine : {false, true}) {
    SCOPED_TRACE(oneLine ? "one endless line" : "endless lines");
    test::TScriptedFtp server(
        [oneLine](test::TScriptedFtp& s) { test::ServeEndlessGreeting(s, oneLine); });
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port) + "/f.bin";
    RunJob({url});
    Thread.reset();
    EXPECT_EQ(Listed(url).Status, 30);
    EXPECT_EQ(Listed(url).Details, oneLine
                                       ? "The server's greeting: Line too long (over 16384 bytes)"
                                       : "The server's greeting: Reply too long (over 4096 lines)");
    EXPECT_FALSE(fs::exists(Folder(url)));
  }
}

TEST_F(DLThreadTest, UnresolvableHostEndsInBoundedTime) {
  RunJob({"http://no-such-host.invalid/a.html"});
  EXPECT_EQ(Listed("http://no-such-host.invalid/a.html").Status, usFailed);
}

TEST_F(DLThreadTest, LinkDownPutsBackOnlyRealItems) {
  TSimDialUp sim;
  test::TManualUiLoop loop;
  TDialUpDlg dialUp(sim, loop, "");
  dialUp.UseModemChk = true;  // and the simulation has no connection up
  ASSERT_FALSE(dialUp.IsConnected());
  Context.DialUp = &dialUp;
  const std::string url = "http://127.0.0.1:9/a.html";
  for (bool robots : {true, false}) {
    SCOPED_TRACE(robots ? "robots.txt first" : "the item itself");
    Options.EnterNoRobChk = !robots;
    Queue.Clear();
    RunJob({url});
    Thread.reset();
    // The robots.txt the pick put first never left the queue's item behind.
    ASSERT_EQ(Queue.Count(), 1);
    EXPECT_EQ(Queue.Item(0).URL, url);
  }
}

// --- FTP ---

// A resumed FTP download keeps the partial only when the server sends the
// rest from its end; a server that ignores or refuses REST sends the whole
// file, which replaces the partial rather than being spliced onto it.
TEST_F(DLThreadTest, FtpResumeIsNeverSpliced) {
  const std::string file = Document(65536);
  struct Case {
    const char* name;
    std::function<void(test::TServerBehaviour&)> change;
  } cases[] = {
      {"rest honoured", [](test::TServerBehaviour&) {}},
      {"rest ignored: the file from its start",
       [](test::TServerBehaviour& b) { b.HonoursRest = false; }},
      {"rest refused", [](test::TServerBehaviour& b) { b.RestReply = "502 No REST."; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TServerBehaviour b;
    b.File = file;
    c.change(b);
    test::TScriptedFtp server([&b](test::TScriptedFtp& s) { test::ServeFile(s, b); });
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port) + "/f.bin";
    Store(url, "Data.tmp", file.substr(0, 30000));
    RunJob({url});
    Thread.reset();  // its client quits the session
    server.Join();
    bool restSent = false;
    for (const auto& line : server.Received()) restSent = restSent || line == "rest 30000";
    EXPECT_TRUE(restSent);
    const std::string body = ReadAll(Local(url, "Data", ""));
    EXPECT_TRUE(body == file) << "a body of " << body.size() << " bytes";
    EXPECT_EQ(Files(url), std::set<std::string>{"Data.bin"});
    EXPECT_EQ(Listed(url).Status, usDownloaded);
  }
}

// --- headers-only job ---

TEST_F(DLThreadTest, HeadersOnlyJobSendsHeadAndKeepsBodies) {
  Options.EnterNoRobChk = false;
  TScriptedServer server([](TScriptedConn& c) {
    for (std::string r; !(r = c.ReadRequest()).empty();) {
      if (r.rfind("GET /robots.txt", 0) == 0)
        c.Send(HttpReply("HTTP/1.1 200 OK", "User-agent: *\nDisallow: /no/\n",
                         {"Content-Type: text/plain"}));
      else
        c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n");
    }
  });
  const std::string kept = server.Url("/kept.txt");
  const std::string fresh = server.Url("/fresh.txt");
  Store(kept, "Data.txt", "mine");
  Store(kept, "Head.txt", "X-Old: 1\r\n");
  RunJob({kept, fresh, server.Url("/no/x.txt")}, true);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].rfind("GET /robots.txt ", 0), 0u);
  EXPECT_EQ(requests[1].rfind("HEAD /", 0), 0u);
  EXPECT_EQ(requests[2].rfind("HEAD /", 0), 0u);
  // The headers of a HEAD name the document's own length.
  EXPECT_EQ(requests[1].find("Accept-Encoding"), std::string::npos);
  EXPECT_EQ(ReadAll(Local(kept, "Data", ".txt")), "mine");
  EXPECT_EQ(ReadAll(Local(kept, "Head", ".txt")), "X-Old: 1\r\n");
  EXPECT_EQ(Files(fresh), (std::set<std::string>{"Head.txt"}));
  EXPECT_EQ(Listed(server.Url("/no/x.txt")).Details, "Robot keep out zone");
}

}  // namespace
}  // namespace qv
