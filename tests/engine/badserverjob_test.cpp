// Whole jobs ("Extracting URLs", then "Downloading files") through the job
// runner on a plain loop, against servers on 127.0.0.1 that misbehave in
// every way a real one can: silence, stalls, drip feeds, broken framing,
// stray bytes, redirect loops and chains, redirects to another host with
// credentials and cookies configured, huge header blocks, links that try to
// leave the mirror folder, hostile robots.txt files, and resumes answered
// with a 416 or a lying 206.
//
// For each URL: one clear result in the master list (a body recorded as
// "Downloaded" is exactly what the server sent for it), the job ends within
// its time-outs, no file appears outside the mirror and program folders, and
// nothing of one host's credentials or cookies reaches another host.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "engine/downloadform.h"
#include "engine/localisepass.h"
#include "engine/plainuiloop.h"
#include "engine/vkhttp.h"
#include "model/uriparser.h"
#include "platform/base64.h"
#include "support/dljob.h"
#include "support/localisecheck.h"
#include "support/scriptedserver.h"
#include "support/zcoded.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using test::HttpReply;
using test::ReadAll;
using test::TScriptedConn;
using test::TScriptedServer;

// What a site does with one request; false closes the connection.
using TAnswer = std::function<bool(TScriptedConn&, const std::string& request)>;

std::string TargetOf(const std::string& request) {
  const size_t a = request.find(' ');
  const size_t b = request.find(' ', a + 1);
  return a == std::string::npos || b == std::string::npos ? "" : request.substr(a + 1, b - a - 1);
}

// One misbehaving server: answers by request target, "/" and "/robots.txt"
// exactly, any other by the longest route token the target holds; 404
// otherwise. Every connection has its own thread, so one silent answer
// holds up no other.
class TSite {
 public:
  explicit TSite(std::string hostName)
      : HostName(std::move(hostName)),
        Server([this](TScriptedConn& c) { Serve(c); }, TScriptedServer::Concurrently) {}

  void On(const std::string& token, TAnswer answer) {
    std::lock_guard<std::mutex> g(FLock);
    FRoutes.emplace_back(token, std::move(answer));
  }
  std::string Url(const std::string& path) const {
    return "http://" + HostName + ":" + std::to_string(Server.Port()) + path;
  }
  // Every byte of every request received.
  std::string Received() const {
    std::string all;
    for (const std::string& r : Server.Requests()) all += r;
    return all;
  }

  const std::string HostName;

 private:
  void Serve(TScriptedConn& c) {
    for (;;) {
      const std::string request = c.ReadRequest();
      if (request.empty()) return;
      const std::string target = TargetOf(request);
      TAnswer answer;
      {
        std::lock_guard<std::mutex> g(FLock);
        size_t best = 0;
        for (const auto& [token, a] : FRoutes)
          if (token == target ||
              (token[0] != '/' && token.size() > best && target.find(token) != std::string::npos)) {
            answer = a;
            if (token == target) break;
            best = token.size();
          }
      }
      if (!answer) {
        c.Send(HttpReply("HTTP/1.1 404 Not Found", "no such page", {"Content-Type: text/plain"}));
        continue;
      }
      if (!answer(c, request)) return;
    }
  }

  std::mutex FLock;
  std::vector<std::pair<std::string, TAnswer>> FRoutes;

 public:
  TScriptedServer Server;  // last: stopped before the routes go
};

// --- answers ---

TAnswer Send(std::string bytes, bool keep = true) {
  return [bytes = std::move(bytes), keep](TScriptedConn& c, const std::string&) {
    c.Send(bytes);
    return keep;
  };
}
TAnswer Plain(std::string body, const char* type = "text/plain") {
  return Send(HttpReply("HTTP/1.1 200 OK", body, {std::string("Content-Type: ") + type}));
}
// Sends the bytes, then says nothing more until the client gives up.
TAnswer ThenSilence(std::string bytes) {
  return [bytes = std::move(bytes)](TScriptedConn& c, const std::string&) {
    c.Send(bytes);
    c.WaitForClose();
    return false;
  };
}
TAnswer ThenClose(std::string bytes, bool reset = false) {
  return [bytes = std::move(bytes), reset](TScriptedConn& c, const std::string&) {
    c.Send(bytes);
    if (reset) c.Reset();
    return false;
  };
}
TAnswer Dripped(std::string bytes) {
  return [bytes = std::move(bytes)](TScriptedConn& c, const std::string&) {
    c.Drip(bytes, 16, 10ms);
    return true;
  };
}
TAnswer Redirect(std::string location, const char* status = "HTTP/1.1 302 Found") {
  return Send(HttpReply(status, "", {"Location: " + location}));
}
// By the target: the first answer whose text the target holds, else the last.
TAnswer ByTarget(std::vector<std::pair<std::string, TAnswer>> answers) {
  return [answers = std::move(answers)](TScriptedConn& c, const std::string& request) {
    const std::string target = TargetOf(request);
    for (const auto& [text, a] : answers)
      if (target.find(text) != std::string::npos) return a(c, request);
    return answers.back().second(c, request);
  };
}

std::string Head(const std::string& statusAndHeaders) { return statusAndHeaders + "\r\n\r\n"; }

std::string Bytes(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (seed + i * 7 + i / 97) % 26);
  return s;
}

std::string Page(const std::string& title, const std::string& body) {
  return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>\n";
}

// --- the cases ---

enum TExpect { kStored, kFailed, kStoredOrFailed };

struct TCase {
  std::string Token;  // names the case: the longest token a URL holds is its case
  std::string Link;   // as written on the root page
  TExpect Expect;
  std::string Body;     // what the server sent for the URL, when stored
  std::string Details;  // a text the failure's details hold; "" any
  // The redirect ends at an address of the case's own token, listed as that
  // address's own fetch too (with the same body): it is never asked for again.
  bool ListsItsTarget = false;
};

// The case of a listed URL; none for a site's robots.txt (whose site may
// hold a case's token).
const TCase* Matching(const std::vector<TCase>& cases, const std::string& url) {
  const TCase* match = nullptr;
  if (url.size() >= 11 && url.compare(url.size() - 11, 11, "/robots.txt") == 0) return nullptr;
  for (const TCase& c : cases)
    if (url.find(c.Token) != std::string::npos && (!match || c.Token.size() > match->Token.size()))
      match = &c;
  return match;
}

// Short, so the silent cases end soon, yet hundreds of times the pause of a
// drip feed or the time any answer takes.
constexpr int kTimeOutSeconds = 4;
// Far above what any case takes with the time-out above, so only a job that
// never ends reaches it.
constexpr int kJobBoundMs = 90000;

class BadServerJobTest : public test::TDLJobTest {
 protected:
  void SetUp() override {
    TDLJobTest::SetUp();
    // The mirror and the program folder in one scratch root, so a walk of it
    // finds whatever was written anywhere else.
    Mirror = Scratch / "mirror";
    Program = Scratch / "program";
    fs::create_directories(Mirror);
    fs::create_directories(Program);
    Env.Set("QUENDRAVILOS_HOME", Program.c_str());
    Context.LocalWebDir = [this] { return Mirror; };
    Options.TimeOutUD = kTimeOutSeconds;
    Options.DLRetriesUD = 0;
    Options.MaxThreadsUD = 8;
    Options.MaxThrServUD = 8;
    Options.EnterNoRobChk = false;
  }

  // Runs one job through the runner; false when it did not end within the
  // bound. The time it took goes into the test's properties.
  bool RunJob(bool extract, const std::string& root, const char* property) {
    Settings.Publish(std::make_shared<const TSettings>(Options));
    TPlainUiLoop loop;
    TScriptedPrompter prompter;
    TPlainProgress progress;
    TDownloadFrm runner(loop, Context, prompter, progress);
    runner.ProgramDir = [this] { return Program; };
    const std::vector<TAtrRow> roots{{root, 1u << 8}};
    runner.RootURLs = &roots;
    runner.OnPass = [this] { Outbox.Drain(); };
    bool overran = false;
    loop.StartTimer(kJobBoundMs, [&] {
      overran = true;
      runner.AbortBtnClick();
    });
    const auto start = std::chrono::steady_clock::now();
    const bool ran = extract ? runner.ExtractURLs() : runner.DownloadFiles(false);
    RecordProperty(property, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now() - start)
                                                  .count()));
    EXPECT_TRUE(ran);
    EXPECT_EQ(runner.Threads.Count(), 0);
    return !overran;
  }

  void ListURL(const std::string& url) {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    TVkURLItem r;
    r.URL = url;
    GlobalURLList->AddItem(r, false);
  }

  std::vector<TVkURLItem> Listed() {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    std::vector<TVkURLItem> all;
    for (int i = 0; i < GlobalURLList->Count(); ++i) all.push_back(*GlobalURLList->GetItem(i));
    return all;
  }

  // The stored body of a URL, or nullopt when there is none (a partial
  // ".tmp" or ".tm2" is none).
  std::optional<std::string> StoredBody(const std::string& url) {
    const std::string path = URLToLocalPath(Mirror, url, "Data", "");
    if (path.empty()) return std::nullopt;
    const std::string file = NativePath(path);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    return ReadAll(file);
  }

  // One clear result for the URL: a body recorded as downloaded is the one
  // expected; a failure says why and leaves no body.
  void ExpectResult(const TVkURLItem& r, const TCase& c) {
    SCOPED_TRACE(c.Token + ": " + r.URL.substr(0, 200) + " -> " + std::to_string(r.Status) + " \"" +
                 r.Details + "\"");
    const std::optional<std::string> body = StoredBody(r.URL);
    EXPECT_FALSE(r.Details.empty());
    if (r.Status == usDownloaded) {
      EXPECT_NE(c.Expect, kFailed);
      ASSERT_TRUE(body.has_value());
      EXPECT_TRUE(*body == c.Body)
          << "stored " << body->size() << " bytes: " << body->substr(0, 80);
      return;
    }
    EXPECT_NE(c.Expect, kStored);
    EXPECT_EQ(r.Status, usFailed);
    // Where two URLs' stored names meet, a body may be in place when its
    // headers cannot be: then it is the URL's own.
    if (body) {
      EXPECT_NE(c.Expect, kFailed) << "a failure left a body";
      EXPECT_TRUE(*body == c.Body) << "a failure left another body";
    }
    EXPECT_NE(r.Details, HttpStatusText(200));
    if (!c.Details.empty()) {
      EXPECT_NE(r.Details.find(c.Details), std::string::npos);
    }
  }

  // Every file under the scratch root lies in the mirror or the program
  // folder, and nothing named by an escaping link lies beside the root.
  void ExpectNothingOutside(const std::string& marker) {
    for (auto it = fs::recursive_directory_iterator(Scratch.Path);
         it != fs::recursive_directory_iterator(); ++it) {
      const std::string p = it->path().string();
      if (p == Mirror || p == Program) {
        it.disable_recursion_pending();
        continue;
      }
      ADD_FAILURE() << "written outside the mirror and program folders: " << p;
    }
    for (fs::path up = fs::path(Scratch.Path).parent_path();; up = up.parent_path()) {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(up, ec))
        EXPECT_EQ(e.path().filename().string().find(marker), std::string::npos) << e.path();
      if (up == up.parent_path()) break;
    }
  }

  test::TScratchDir Scratch;
  std::string Mirror, Program;
};

TEST_F(BadServerJobTest, EveryURLEndsWithOneClearResultAndNothingLeaks) {
  TSite a("localhost");  // the site of the root page, credentials and cookies
  TSite b("127.0.0.1");  // another host the first sends the job to
  // The first host on another port: another site for credentials; cookies
  // do not tell ports apart (RFC 6265 section 8.5).
  TSite otherPort("localhost");
  // A host that never answers, reached only through a redirect: its time-out
  // marks it unreachable without touching the hosts that other cases need.
  TSite silentHost("127.0.0.1");
  TSite robotsRedirects("127.0.0.1"), robotsHuge("127.0.0.1"), robotsSilent("127.0.0.1");
  std::vector<TSite*> others = {&b, &silentHost, &robotsRedirects, &robotsHuge, &robotsSilent};

  // Per-site credentials and cookies for the first site only: a row of the
  // password list, a cookie file of the program folder, and cookies the
  // root page sets (one of them naming the other host's domain).
  const std::string user = "alice", password = "secret-A-pw";
  PassWords.Publish(std::make_shared<const TPassWordList>(
      std::vector<TPassWordRow>{{a.Url("/"), user, password}}));
  Options.IECookChk = true;
  fs::create_directories(Program + "/Cookies");
  std::ofstream(Program + "/Cookies/anyuser@localhost.txt")
      << "sess\ncookie-from-file\nlocalhost/\n0\n*\n";
  const std::vector<std::string> secrets = {
      user,       password,       EncodeBase64(user + ":" + password), "cookie-from-file",
      "set-by-A", "planted-for-B"};

  std::vector<TCase> cases;
  auto add = [&](TSite& site, const std::string& token, const std::string& path, TAnswer answer,
                 TExpect expect, std::string body = "", std::string details = "") {
    site.On(token, std::move(answer));
    cases.push_back(
        {token, &site == &a ? path : site.Url(path), expect, std::move(body), std::move(details)});
  };
  const std::string page6 = Page("drip", "<p>" + Bytes(8000, 6) + "</p>");
  const std::string body5 = Bytes(8000, 5);

  // Silence and stalls: the watchdog ends them.
  add(a, "c01-", "/c01-silence.txt", ThenSilence(""), kFailed, "", "Timed out");
  add(a, "c02-", "/c02-silence.html", ThenSilence(""), kFailed, "", "Timed out");
  add(a, "c03-", "/c03-stall.bin",
      ThenSilence(Head("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       "Content-Length: 100000") +
                  Bytes(30000, 3)),
      kFailed, "", "Timed out");
  add(a, "c04-", "/c04-stall.html",
      ThenSilence(Head("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5000") +
                  "<html><body>" + Bytes(900, 4)),
      kFailed, "", "Timed out");
  // A drip feed takes longer than the time-out in all, but every piece comes
  // well within it.
  add(a, "c05-", "/c05-drip.txt",
      Dripped(HttpReply("HTTP/1.1 200 OK", body5, {"Content-Type: text/plain"})), kStored, body5);
  add(a, "c06-", "/c06-drip.html",
      Dripped(HttpReply("HTTP/1.1 200 OK", page6, {"Content-Type: text/html"})), kStored, page6);
  // Framing.
  add(a, "c07-", "/c07-short.txt",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000") +
                Bytes(600, 7)),
      kFailed);
  add(a, "c08-", "/c08-short.html",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000") +
                "<html>" + Bytes(600, 8)),
      kFailed);
  add(a, "c09-", "/c09-long.txt",
      Send(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10") +
           "0123456789and-twenty-more-bytes"),
      kStored, "0123456789");
  add(a, "c10-", "/c10-chunksize.txt",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked") +
                "zz\r\nhello\r\n0\r\n\r\n"),
      kFailed);
  add(a, "c11-", "/c11-chunkover.txt",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked") +
                "5\r\nhello-and-more\r\n0\r\n\r\n"),
      kFailed);
  add(a, "c12-", "/c12-chunkcut.html",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked") +
                "400\r\n<html>" + Bytes(100, 12)),
      kFailed);
  add(a, "c13-", "/c13-chunked.txt",
      Send(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked") +
           "5\r\nhello\r\n6\r\n world\r\n0\r\nX-Trailer: t\r\n\r\n"),
      kStored, "hello world");
  // Stray bytes after a whole answer: a second answer nobody asked for must
  // never be taken for the next request's.
  add(a, "c14-", "/c14-stray.txt",
      Send(HttpReply("HTTP/1.1 200 OK", "first", {"Content-Type: text/plain"}) +
           HttpReply("HTTP/1.1 200 OK", "SMUGGLED!", {"Content-Type: text/plain"})),
      kStored, "first");
  add(a, "c15-", "/c15-garbage.txt",
      Send(HttpReply("HTTP/1.1 200 OK", "second", {"Content-Type: text/plain"}) +
           "\r\n\r\nGARBAGE-SMUGGLED\r\n"),
      kStored, "second");
  // Huge header blocks.
  {
    std::string many = "HTTP/1.1 200 OK\r\nContent-Type: text/plain";
    for (int i = 0; i < 400; ++i) many += "\r\nX-Many-" + std::to_string(i) + ": v";
    add(a, "c16-", "/c16-manyheaders.txt", Send(Head(many + "\r\nContent-Length: 2") + "ok"),
        kFailed);
    std::string big = "HTTP/1.1 200 OK\r\nContent-Type: text/plain";
    for (int i = 0; i < 80; ++i) big += "\r\nX-Big-" + std::to_string(i) + ": " + Bytes(1000, 16);
    add(a, "c17-", "/c17-bigheaders.txt", Send(Head(big + "\r\nContent-Length: 2") + "ok"),
        kFailed);
    add(a, "c18-", "/c18-longline.txt",
        Send(Head("HTTP/1.1 200 OK\r\nX-Long: " + Bytes(40000, 18) + "\r\nContent-Length: 2") +
             "ok"),
        kFailed);
  }
  add(
      a, "c19-", "/c19-endless.txt",
      [](TScriptedConn& c, const std::string&) {
        c.Send("HTTP/1.1 200 OK\r\n");
        const std::string line = "X-Again: " + Bytes(200, 19) + "\r\n";
        for (int i = 0; i < 20000 && c.Send(line); ++i) {
        }
        c.WaitForClose();
        return false;
      },
      kFailed);
  add(a, "c26-", "/c26-twolengths.txt",
      Send(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n"
                "Content-Length: 5") +
           "abcde"),
      kFailed);
  add(a, "c27-", "/c27-hugelength.txt",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999") + "x"), kFailed);
  add(a, "c28-", "/c28-nostatus.txt", ThenClose("HTTX/1.1 2OO OK\r\n\r\nbody"), kFailed);
  add(a, "c29-", "/c29-hangup.txt", ThenClose(""), kFailed);
  add(a, "c50-", "/c50-missing.txt",
      Send(HttpReply("HTTP/1.1 404 Not Found", "gone", {"Content-Type: text/plain"})), kFailed, "",
      "Not Found (404)");
  add(a, "c51-", "/c51-empty.txt",
      Send(HttpReply("HTTP/1.1 200 OK", "", {"Content-Type: text/plain"})), kStored, "");
  add(a, "c52-", "/c52-reset.bin",
      ThenClose(Head("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                     "Content-Length: 50000") +
                    Bytes(10000, 52),
                true),
      kFailed);
  {
    std::string interim;
    for (int i = 0; i < 40; ++i) interim += "HTTP/1.1 100 Continue\r\n\r\n";
    add(a, "c53-", "/c53-interim.txt",
        ThenClose(interim + HttpReply("HTTP/1.1 200 OK", "late", {"Content-Type: text/plain"})),
        kFailed);
  }
  add(a, "c54-", "/c54-closedelimited.txt",
      ThenClose(Head("HTTP/1.0 200 OK\r\nContent-Type: text/plain") + "until the close"), kStored,
      "until the close");
  // Content codings nobody asked for: stored decoded, and a page's links
  // read from what it decodes to (c85 is linked from there only); a coded
  // body that does not decode whole is a failure that says why.
  {
    auto coded = [](const std::string& type, const std::string& coding, const std::string& body) {
      return Send(HttpReply("HTTP/1.1 200 OK", body,
                            {"Content-Type: " + type, "Content-Encoding: " + coding}));
    };
    const std::string page =
        Page("coded", "<a href=\"/c85-linked.txt\">c85</a>" + Bytes(30000, 84));
    add(a, "c84-", "/c84-gzip.html", coded("text/html", "gzip", test::Gzipped(page)), kStored,
        page);
    a.On("c85-", Plain("linked c85"));
    cases.push_back({"c85-", "", kStored, "linked c85", ""});
    const std::string text = Bytes(40000, 86);
    add(a, "c86-", "/c86-deflate.txt",
        coded("text/plain", "deflate", test::ZCoded(text, test::zRawDeflate)), kStored, text);
    const std::string gz = test::Gzipped(text);
    add(a, "c87-", "/c87-gzcut.txt", coded("text/plain", "gzip", gz.substr(0, gz.size() - 100)),
        kFailed, "", "Content-Encoding gzip: the body ends before its coded data does");
    std::string bad = gz;
    bad[bad.size() - 6] = static_cast<char>(bad[bad.size() - 6] ^ 0x5A);  // its check sum
    add(a, "c88-", "/c88-gzbad.txt", coded("text/plain", "gzip", bad), kFailed, "",
        "Content-Encoding gzip: the body does not decode (incorrect data check)");
    add(a, "c89-", "/c89-gzbomb.bin",
        coded("application/octet-stream", "gzip", test::Gzipped(std::string(40 << 20, 'z'))),
        kFailed, "", "Content-Encoding gzip: decoded body over 200 times its coded size");
  }

  // Redirects: to another host, chains and loops.
  add(b, "c20-", "/c20-target.txt", Plain("B body c20"), kStored, "B body c20");
  add(a, "c21-", "/c21-to-b-301.txt", Redirect(b.Url("/c20-target.txt"), "HTTP/1.1 301 Moved"),
      kStored, "B body c20");
  add(a, "c22-", "/c22-to-b-307.txt",
      Redirect(b.Url("/c20-target.txt"), "HTTP/1.1 307 Temporary Redirect"), kStored, "B body c20");
  add(a, "c23-", "/c23-to-b-schemeless.txt",
      Redirect("//127.0.0.1:" + std::to_string(b.Server.Port()) + "/c20-target.txt"), kStored,
      "B body c20");
  add(a, "c24-", "/c24-content-location.txt",
      Send(
          HttpReply("HTTP/1.1 200 OK", "A body c24",
                    {"Content-Type: text/plain", "Content-Location: " + b.Url("/c20-target.txt")})),
      kStored, "B body c20");
  b.On("c25-", Send(HttpReply(
                   "HTTP/1.1 302 Found", "",
                   {"Location: " + a.Url("/c25-back.txt"), "Set-Cookie: fromB=set-by-B; Path=/"})));
  a.On("c25-", ByTarget({{"back", Plain("A body c25")}, {"", Redirect(b.Url("/c25-via-b.txt"))}}));
  cases.push_back({"c25-", "/c25-start.txt", kStored, "A body c25", "", true});
  add(a, "c30-", "/c30-loop-a.txt",
      ByTarget({{"loop-a", Redirect("/c30-loop-b.txt")}, {"", Redirect("/c30-loop-a.txt")}}),
      kFailed);
  add(a, "c31-", "/c31-self.txt", Redirect("/c31-self.txt", "HTTP/1.1 301 Moved"), kFailed);
  {
    auto chain = [](const std::string& prefix, int length, const std::string& end) {
      return [prefix, length, end](TScriptedConn& c, const std::string& request) {
        const std::string target = TargetOf(request);
        const int n = std::atoi(target.substr(target.rfind('-') + 1).c_str());
        c.Send(n + 1 >= length ? HttpReply("HTTP/1.1 200 OK", end, {"Content-Type: text/plain"})
                               : HttpReply("HTTP/1.1 302 Found", "",
                                           {"Location: " + prefix + std::to_string(n + 1)}));
        return true;
      };
    };
    add(a, "c32-", "/c32-chain-0", chain("/c32-chain-", 30, "too far"), kFailed);
    add(a, "c33-", "/c33-chain-0", chain("/c33-chain-", 6, "end of c33"), kStored, "end of c33");
    cases.back().ListsItsTarget = true;
  }
  add(a, "c34-", "/c34-cross.txt", Redirect(b.Url("/c34-cross.txt")), kFailed);
  b.On("c34-", Redirect(a.Url("/c34-cross.txt")));
  add(a, "c35-", "/c35-file.txt", Redirect("file:///etc/passwd"), kFailed);
  silentHost.On("c38-", ThenSilence(""));
  add(a, "c38-", "/c38-to-silence.txt", Redirect(silentHost.Url("/c38-silent.txt")), kFailed, "",
      "Timed out");
  otherPort.On("c36-", Plain("other port c36"));
  add(a, "c36-", "/c36-to-other-port.txt", Redirect(otherPort.Url("/c36-target.txt")), kStored,
      "other port c36");
  cases.back().ListsItsTarget = true;

  // Links that try to leave the mirror folder.
  auto escape = [&](const std::string& token, const std::string& link) {
    add(a, token, link, Plain("escape body " + token), kStoredOrFailed, "escape body " + token);
  };
  escape("c60-qvesc", "../../../../../../c60-qvesc.txt");
  escape("c61-qvesc", "/sub/%2e%2e/%2E%2E/%2e%2e/%2e%2e/%2e%2e/c61-qvesc.txt");
  escape("c62-qvesc", "/sub/..%2f..%2f..%2f..%2f..%2fc62-qvesc.txt");
  escape("c63-qvesc", "/sub/..%5c..%5c..%5c..%5c..%5cc63-qvesc.txt");
  escape("c64-qvesc", "/sub/..\\..\\..\\..\\..\\c64-qvesc.txt");
  escape("c65-qvesc", "\\..\\..\\..\\..\\c65-qvesc.txt");
  escape("c66-qvesc", "/" + std::string(300, 'n') + "/" + std::string(300, 'm') + "/" +
                          std::string(300, 'o') + "/c66-qvesc.txt");
  escape("c67-qvesc", "/" + std::string(600, 'p') + "c67-qvesc.txt");
  escape("c68-qvesc", "/ctl\x01\x7f\x1b\t/c68-qvesc.txt");
  escape("c69-qvesc", "/nul%00/c69-qvesc.txt");
  escape("c70-qvesc", "/sub/.../..../c70-qvesc.txt");
  escape("c71-qvesc", "/c71-qvesc?x=/../../../../../y");
  escape("c72-qvesc", "/..;/..;/..;/c72-qvesc.txt");
  escape("c75-qvesc", "/c75-qvesc..");
  // Backslashes after the port make it no port: the default one would be
  // another server.
  add(a, "c78-qvesc", a.Url("") + "\\..\\..\\c78-qvesc.txt", Plain("escape body c78"), kFailed, "",
      "Invalid port");
  // An extension too long for a file name, and URLs whose stored names meet
  // another URL's folder: each ends on its own, with its own body or none.
  {
    auto octets = [](const std::string& body) {
      return Send(HttpReply("HTTP/1.1 200 OK", body, {"Content-Type: application/octet-stream"}));
    };
    const std::string longExt = "/c80-qvesc." + std::string(300, 'e');
    add(a, "c80-qvesc", longExt, octets("escape body c80"), kStoredOrFailed, "escape body c80");
    add(a, "c81-qvesc/", "/c81-qvesc/", octets("escape body c81"), kStoredOrFailed,
        "escape body c81");
    add(a, "c81-qvesc/Data", "/c81-qvesc/Data", octets("escape body c81 data"), kStoredOrFailed,
        "escape body c81 data");
    add(a, "c82-qvesc/", "/c82-qvesc/", Plain("escape body c82"), kStoredOrFailed,
        "escape body c82");
    add(a, "c82-qvesc/Head.txt", "/c82-qvesc/Head.txt", Plain("escape body c82 head"),
        kStoredOrFailed, "escape body c82 head");
    add(a, "c83-qvesc/", "/c83-qvesc/", octets("escape body c83"), kStoredOrFailed,
        "escape body c83");
    add(a, "c83-qvesc/Data.tmp", "/c83-qvesc/Data.tmp", octets("escape body c83 tmp"),
        kStoredOrFailed, "escape body c83 tmp");
  }
  add(a, "c73-qvesc", "/c73-qvesc-start.txt",
      ByTarget({{"final", Plain("escape body c73")},
                {"", Redirect("/../../../../../c73-qvesc-final.txt")}}),
      kStoredOrFailed, "escape body c73");
  cases.back().ListsItsTarget = true;
  add(a, "c74-qvesc", "/c74-qvesc-start.txt",
      ByTarget({{"final", Plain("escape body c74")},
                {"", Redirect("..\\..\\..\\..\\c74-qvesc-final.txt")}}),
      kStoredOrFailed, "escape body c74");
  cases.back().ListsItsTarget = true;
  add(a, "c76-qvesc", "/c76-qvesc-type",
      Send(HttpReply("HTTP/1.1 200 OK", "escape body c76",
                     {"Content-Type: application/../../../../../c76-qvesc"})),
      kStoredOrFailed, "escape body c76");

  // Robots: the first site keeps its own folder; the others' robots.txt
  // redirects (not followed: no rules), is huge, or never answers (the site
  // is kept out, and says why), and their pages still end.
  a.On("/robots.txt", Plain("User-agent: *\nDisallow: /private/\n"));
  add(a, "c46-", "/private/c46-secret.txt", Plain("secret"), kFailed, "", "Robot keep out zone");
  a.On("/robots-elsewhere.txt", Plain("User-agent: *\nDisallow: /elsewhere/\n"));
  robotsRedirects.On("/robots.txt", Redirect(a.Url("/robots-elsewhere.txt")));
  add(robotsRedirects, "c40-", "/c40-page.txt", Plain("page c40"), kStored, "page c40");
  {
    std::string huge = "User-agent: *\nDisallow: /private/\n";
    while (huge.size() < (3u << 20)) huge += "# " + Bytes(98, 44) + "\n";
    robotsHuge.On("/robots.txt", Plain(huge));
  }
  add(robotsHuge, "c42-", "/private/c42-page.txt", Plain("page c42"), kFailed, "",
      "Robot keep out zone");
  add(robotsHuge, "c43-", "/c43-page.txt", Plain("page c43"), kStored, "page c43");
  robotsSilent.On("/robots.txt", ThenSilence(""));
  add(robotsSilent, "c44-", "/c44-page.txt", Plain("page c44"), kFailed, "",
      "Robot keep out zone: robots.txt unreachable (Timed out)");

  // The root page: a link to every case, and two cookies.
  std::string links;
  for (const TCase& c : cases)
    if (!c.Link.empty()) links += "<a href=\"" + c.Link + "\">" + c.Token + "</a>\n";
  const std::string root = Page("root", links + "<a href=\"/rawnul\0/c77-qvesc.txt\">nul</a>"s);
  a.On("/", Send(HttpReply("HTTP/1.1 200 OK", root,
                           {"Content-Type: text/html", "Set-Cookie: fromA=set-by-A; Path=/",
                            "Set-Cookie: planted=planted-for-B; Domain=127.0.0.1; Path=/"})));

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunJob(true, a.Url("/"), "extract_ms")) << "the extract job did not end";
  ASSERT_TRUE(RunJob(false, a.Url("/"), "download_ms")) << "the download job did not end";
  RecordProperty("jobs_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count()));

  // Every URL of the list: one clear result.
  std::map<std::string, int> seen;
  for (const TVkURLItem& r : Listed()) {
    const TCase* match = Matching(cases, r.URL);
    if (match) {
      ++seen[match->Token];
      ExpectResult(r, *match);
      continue;
    }
    SCOPED_TRACE(r.URL.substr(0, 200) + " -> " + std::to_string(r.Status) + " \"" + r.Details +
                 "\"");
    EXPECT_TRUE(r.Status == usDownloaded || r.Status == usFailed);
    EXPECT_FALSE(r.Details.empty());
    if (r.Status == usDownloaded) {
      EXPECT_TRUE(StoredBody(r.URL).has_value());
    }
  }
  for (const TCase& c : cases)
    EXPECT_EQ(seen[c.Token], c.ListsItsTarget ? 2 : 1) << c.Token << " is not listed as it should";
  EXPECT_EQ(StoredBody(a.Url("/")), root);

  // No stray answer was stored for any URL.
  for (const auto& e : fs::recursive_directory_iterator(Mirror))
    if (e.is_regular_file()) {
      EXPECT_EQ(ReadAll(e.path().string()).find("SMUGGLED"), std::string::npos) << e.path();
    }

  // The first site got its credentials and cookies; no other host got any.
  const std::string toA = a.Received();
  EXPECT_NE(toA.find("\r\nAuthorization: Basic " + EncodeBase64(user + ":" + password) + "\r\n"),
            std::string::npos);
  EXPECT_NE(toA.find("sess=cookie-from-file"), std::string::npos);
  EXPECT_NE(toA.find("fromA=set-by-A"), std::string::npos);
  EXPECT_EQ(toA.find("/private/"), std::string::npos) << "robots.txt was not obeyed";
  EXPECT_EQ(toA.find("set-by-B"), std::string::npos);
  const std::string toOtherPort = otherPort.Received();
  EXPECT_NE(toOtherPort.find("/c36-target.txt"), std::string::npos);
  EXPECT_EQ(toOtherPort.find("Authorization"), std::string::npos) << toOtherPort;
  EXPECT_EQ(toOtherPort.find(password), std::string::npos);
  for (TSite* s : others) {
    const std::string got = s->Received();
    EXPECT_FALSE(got.empty());
    EXPECT_EQ(got.find("Authorization"), std::string::npos) << got;
    for (const std::string& secret : secrets)
      EXPECT_EQ(got.find(secret), std::string::npos) << secret;
  }
  EXPECT_EQ(robotsHuge.Received().find("/private/"), std::string::npos);
  EXPECT_EQ(robotsSilent.Received().find("c44-"), std::string::npos);
  ExpectNothingOutside("qvesc");
  // A folder is made only for a file that goes into it.
  EXPECT_EQ(test::EmptyFolders(Mirror), std::vector<std::string>());

  // The pages rewritten to browse off line, every hostile link with them,
  // still write nothing elsewhere.
  TPlainProgress progress;
  const TLocaliseSummary summary = LocaliseListReferences(*GlobalURLList, Mirror, progress);
  EXPECT_GE(summary.Rewritten, 1);
  EXPECT_EQ(summary.Failed, 0);
  // Every link the rewriting made relative leads to a file in the mirror.
  const std::string rootFile = NativePath(URLToLocalPath(Mirror, a.Url("/"), "Data", ""));
  const std::string rewritten = ReadAll(rootFile);
  static const std::regex href("href=\"([^\"]*)\"");
  int relative = 0;
  for (auto it = std::sregex_iterator(rewritten.begin(), rewritten.end(), href);
       it != std::sregex_iterator(); ++it) {
    const std::string target = test::PercentDecoded((*it)[1]);
    if (target.empty() || target[0] == '/' || target.find("://") != std::string::npos) continue;
    ++relative;
    const fs::path to = (fs::path(rootFile).parent_path() / target).lexically_normal();
    EXPECT_EQ(to.string().rfind(Mirror + "/", 0), 0u) << target;
    EXPECT_TRUE(fs::is_regular_file(to)) << target;
  }
  EXPECT_GE(relative, 30);
  ExpectNothingOutside("qvesc");
}

// A download job alone, as after URLs were pasted into the list: its own
// threads fetch each site's robots.txt, and a second run resumes what the
// first left partial, against servers that answer the resume wrongly.
TEST_F(BadServerJobTest, ADownloadJobAloneMeetsHostileRobotsAndLyingResumes) {
  Options.ResParChk = true;
  TSite robotsRedirects("127.0.0.1"), robotsHuge("127.0.0.1"), robotsSilent("127.0.0.1"),
      robotsEndless("127.0.0.1"), resume("127.0.0.1");
  std::vector<TCase> cases;
  auto add = [&](TSite& site, const std::string& token, const std::string& path, TAnswer answer,
                 TExpect expect, std::string body = "", std::string details = "") {
    site.On(token, std::move(answer));
    cases.push_back({token, site.Url(path), expect, std::move(body), std::move(details)});
  };

  robotsRedirects.On("/robots.txt", Redirect("/robots.txt", "HTTP/1.1 301 Moved"));
  add(robotsRedirects, "d01-", "/d01-page.txt", Plain("page d01"), kStored, "page d01");
  {
    std::string huge = "User-agent: *\nDisallow: /private/\n";
    while (huge.size() < (3u << 20)) huge += "# " + Bytes(98, 2) + "\n";
    robotsHuge.On("/robots.txt", Plain(huge));
  }
  add(robotsHuge, "d02-", "/private/d02-page.txt", Plain("page d02"), kFailed, "",
      "Robot keep out zone");
  add(robotsHuge, "d03-", "/d03-page.txt", Plain("page d03"), kStored, "page d03");
  robotsSilent.On("/robots.txt", ThenSilence(""));
  add(robotsSilent, "d04-", "/d04-page.txt", Plain("page d04"), kFailed, "",
      "Robot keep out zone: robots.txt unreachable (Timed out)");
  // A robots.txt without end (here 256 MiB, to bound what a client that
  // reads on would write): it must not hold its site's pages for ever, and
  // as it is never read whole its site is kept out.
  auto endlessSent = std::make_shared<std::atomic<int64_t>>(0);
  constexpr int64_t kEndless = int64_t{256} << 20;
  robotsEndless.On("/robots.txt", [endlessSent](TScriptedConn& c, const std::string&) {
    c.Send(Head("HTTP/1.1 200 OK\r\nContent-Type: text/plain") + "User-agent: *\n");
    const std::string lines = [] {
      std::string s;
      while (s.size() < 64000) s += "Disallow: /" + Bytes(1000, 3) + "\n";
      return s;
    }();
    while (*endlessSent < kEndless && c.Send(lines))
      *endlessSent += static_cast<int64_t>(lines.size());
    return false;
  });
  add(robotsEndless, "d05-", "/d05-page.txt", Plain("page d05"), kFailed, "",
      "Robot keep out zone: robots.txt unreachable");

  // Each resume case: the first request of the first run breaks off after
  // 30,000 of 60,000 bytes, leaving a partial; what follows answers a
  // request with a Range by `ranged`, one without by `whole`.
  const std::string doc = Bytes(60000, 9), other = Bytes(60000, 17);
  const char* kDate = "Tue, 01 Dec 2026 10:00:00 GMT";
  const char* kLater = "Wed, 02 Dec 2026 10:00:00 GMT";
  const std::string full =
      HttpReply("HTTP/1.1 200 OK", doc,
                {"Content-Type: application/octet-stream", std::string("Last-Modified: ") + kDate});
  auto part = [](const std::string& range, const std::string& body,
                 std::vector<std::string> extra = {}) {
    extra.push_back("Content-Type: application/octet-stream");
    extra.push_back("Content-Range: bytes " + range);
    return HttpReply("HTTP/1.1 206 Partial Content", body, extra);
  };
  auto resumeCase = [&](const std::string& token, TAnswer ranged, TAnswer whole, TExpect expect,
                        std::string body, std::string details = "") {
    auto first = std::make_shared<std::atomic<bool>>(true);
    const std::string cut = full.substr(0, full.size() - 30000);
    add(
        resume, token, "/" + token + ".bin",
        [=](TScriptedConn& c, const std::string& request) {
          if (first->exchange(false)) {
            c.Send(cut);
            c.Reset();
            return false;
          }
          return request.find("\r\nRange: ") != std::string::npos ? ranged(c, request)
                                                                  : whole(c, request);
        },
        expect, std::move(body), std::move(details));
  };
  const TAnswer wholeDoc = Send(full);
  resumeCase(
      "r01-honest",
      Send(part("30000-59999/60000", doc.substr(30000), {std::string("Last-Modified: ") + kDate})),
      wholeDoc, kStored, doc);
  resumeCase("r02-ignores-range", Send(full), wholeDoc, kStored, doc);
  resumeCase(
      "r03-416",
      Send(HttpReply("HTTP/1.1 416 Range Not Satisfiable", "", {"Content-Range: bytes */60000"})),
      wholeDoc, kStored, doc);
  resumeCase("r04-416-always", Send(HttpReply("HTTP/1.1 416 Range Not Satisfiable", "")),
             Send(HttpReply("HTTP/1.1 416 Range Not Satisfiable", "")), kFailed, "", "(416)");
  resumeCase("r05-206-from-zero", Send(part("0-59999/60000", doc)), wholeDoc, kStored, doc);
  resumeCase("r06-206-other-total",
             Send(part("30000-69999/70000", doc.substr(30000) + Bytes(10000, 1))), wholeDoc,
             kStored, doc);
  resumeCase("r07-206-changed",
             Send(part("30000-59999/60000", other.substr(30000),
                       {std::string("Last-Modified: ") + kLater})),
             Send(HttpReply("HTTP/1.1 200 OK", other,
                            {"Content-Type: application/octet-stream",
                             std::string("Last-Modified: ") + kLater})),
             kStored, other);
  resumeCase("r08-206-short-range", Send(part("30000-49999/60000", doc.substr(30000, 20000))),
             wholeDoc, kStored, doc);
  resumeCase("r09-206-longer-than-range",
             Send(part("30000-59999/60000", doc.substr(30000) + Bytes(5000, 4))), wholeDoc, kStored,
             doc);
  {
    const std::string rest = part("30000-59999/60000", doc.substr(30000));
    resumeCase("r10-206-cut", ThenClose(rest.substr(0, rest.size() - 20000)), wholeDoc, kFailed,
               "");
  }
  // A part nobody asked for is no body.
  add(resume, "r11-206-unasked", "/r11-206-unasked.bin",
      Send(part("0-99/60000", doc.substr(0, 100))), kFailed);

  for (const TCase& c : cases) ListURL(c.Link);
  ASSERT_TRUE(RunJob(false, "", "first_run_ms")) << "the first run did not end";
  ASSERT_TRUE(RunJob(false, "", "second_run_ms")) << "the second run did not end";

  for (const TVkURLItem& r : Listed()) {
    const TCase* match = Matching(cases, r.URL);
    if (match) {
      ExpectResult(r, *match);
      continue;
    }
    SCOPED_TRACE(r.URL + " -> " + std::to_string(r.Status) + " \"" + r.Details + "\"");
    EXPECT_NE(r.URL.find("/robots.txt"), std::string::npos);
    EXPECT_TRUE(r.Status == usDownloaded || r.Status == usFailed);
    EXPECT_FALSE(r.Details.empty());
  }
  EXPECT_EQ(robotsHuge.Received().find("/private/"), std::string::npos);
  EXPECT_EQ(robotsSilent.Received().find("d04-"), std::string::npos);
  EXPECT_EQ(robotsEndless.Received().find("d05-"), std::string::npos);
  EXPECT_LT(endlessSent->load(), kEndless / 2) << "the endless robots.txt was read on";
  ExpectNothingOutside("qvesc");
  EXPECT_EQ(test::EmptyFolders(Mirror), std::vector<std::string>());
}

}  // namespace
}  // namespace qv
