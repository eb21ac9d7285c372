// Fifteen spider threads over a densely linked site of 3,000 pages, fetched
// by a stand-in that answers at once: every page is fetched exactly once,
// however many threads find a link to it at the same moment. Meant for
// ThreadSanitizer as much as for its checks.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/robots.h"
#include "engine/spiderthread.h"
#include "engine/urladder.h"
#include "model/vkglobal.h"
#include "model/vkurllist.h"
#include "support/envscope.h"
#include "support/scratchdir.h"
#include "support/spiderrun.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

constexpr int kPages = 3000;
constexpr int kLinks = 20;
constexpr int kThreads = 15;
const char* const kSite = "http://127.0.0.1:9";

std::string PageURL(int i) { return std::string(kSite) + "/p" + std::to_string(i) + ".html"; }

// Page i links to the next pages and to pages spread over the whole site, so
// that many threads meet the same links at about the same time.
std::string PageBody(int i) {
  std::string body = "<html><head><title>p</title></head><body>";
  for (int k = 1; k <= kLinks; ++k) {
    const int target = k <= 5 ? (i + k) % kPages : (i * 7 + k * 131) % kPages;
    body += "<a href=\"p" + std::to_string(target) + ".html\">l</a>";
  }
  return body + "</body></html>";
}

struct TFetchLog {
  std::mutex Lock;
  std::map<std::string, int> Count;
};

class TStandInSpider : public TSpiderThread {
 public:
  TStandInSpider(TVkThreadList* list, TJobContext& context, TDLList* queue, TFetchLog& log)
      : TSpiderThread(list, context, queue), Log(log) {}
  ~TStandInSpider() override { WaitFor(); }
  TFetchLog& Log;

 protected:
  bool GetPageText(const std::string& url, std::string& body) override {
    {
      std::lock_guard<std::mutex> g(Log.Lock);
      ++Log.Count[url];
    }
    const size_t p = url.rfind("/p");
    const int i = std::stoi(url.substr(p + 2));
    body = PageBody(i);
    HTTP->ResponseCode = 200;
    HTTP->Response.ContentType = "text/html";
    HTTP->Response.ContentLength = static_cast<int64_t>(body.size());
    HTTP->RawHeaders.Clear();
    HTTP->RawHeaders.Add("Content-Type: text/html");
    return true;
  }
};

TEST(SpiderStress, EveryPageOnceUnderFifteenThreads) {
  CreateGlobals();
  test::TScratchHome home;
  test::TScratchDir root;
  TOutbox outbox;
  TURLAdder adder{outbox};
  TPublished<TSettings> published;
  TSettings options;
  options.EnterNoRobChk = true;
  options.MaxThrServUD = kThreads;
  options.TimeOutUD = 30;
  published.Publish(std::make_shared<const TSettings>(options));
  TJobContext context;
  context.Adder = &adder;
  context.Settings = &published;
  context.LocalWebDir = [&] { return root.Path; };
  StartJob(options, &context);

  TDLList queue;
  {
    TActiveDL item;
    item.URL = PageURL(0);
    item.SiteMode = 2;  // the whole host, at no level cost
    item.Depth = 1;
    item.Origin = 1;
    queue.Add(item, false);
  }
  TVkThreadList list;
  TFetchLog log;
  ASSERT_TRUE(test::RunSpiderJob(queue, list, kThreads, [&] {
    return std::make_unique<TStandInSpider>(&list, context, &queue, log);
  })) << "the job hangs";

  ASSERT_EQ(log.Count.size(), static_cast<size_t>(kPages));
  for (const auto& [url, n] : log.Count) EXPECT_EQ(n, 1) << url;
  {
    std::lock_guard<TCriticalSection> g(*URLListLock);
    for (int i = 0; i < kPages; ++i) {
      TVkURLItem* rec = GlobalURLList->FindItem(PageURL(i));
      ASSERT_NE(rec, nullptr) << i;
    }
  }
  FreeGlobals();
}

}  // namespace
}  // namespace qv
