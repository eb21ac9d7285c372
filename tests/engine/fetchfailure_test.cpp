#include "engine/fetchfailure.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "engine/contentcoding.h"
#include "engine/idhttp.h"
#include "platform/bytestream.h"
#include "platform/ftp.h"
#include "platform/net.h"

namespace qv {
namespace {

// Each error the network layers raise stands for one kind of failure: the
// more specific class wins over the one it derives from (a redirection over
// a reply error, a size mismatch over a protocol error), a reply error gives
// its own code, and the text is one line.
TEST(FetchFailure, EachErrorStandsForItsKind) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    int32_t codeSeen;
    TFetchFailure failure;
  } cases[] = {
      {"status",
       [] { throw EIdProtocolReplyError(404, "404 Not Found"); },
       404,
       {TFailKind::fkStatus, 404, "404 Not Found"}},
      {"a reply's own code",
       [] { throw EIdProtocolReplyError(550, "No such file."); },
       226,
       {TFailKind::fkStatus, 550, "No such file."}},
      {"redirection",
       [] { throw EHttpRedirectError(302, "Too many redirects"); },
       302,
       {TFailKind::fkRedirect, 302, "Too many redirects"}},
      {"time-out", [] { throw ENetTimeout(); }, 0, {TFailKind::fkTimedOut, 0, "Read timed out."}},
      {"cut", [] { throw ENetCancelled(); }, 200, {TFailKind::fkCut, 200, "Connection cut."}},
      {"no connection",
       [] { throw ENetConnectError("Connection refused"); },
       0,
       {TFailKind::fkConnect, 0, "Connection refused"}},
      {"closed",
       [] { throw ENetClosedGracefully(); },
       0,
       {TFailKind::fkClosed, 0, "Connection closed gracefully."}},
      {"not connected",
       [] { throw ENetNotConnected(); },
       0,
       {TFailKind::fkClosed, 0, "Not connected."}},
      {"truncated body",
       [] { throw EHttpTruncated(); },
       200,
       {TFailKind::fkTruncated, 200, "Body truncated: the connection closed before its end"}},
      {"short transfer",
       [] { throw EIdFTPSizeMismatch(1000, 999); },
       226,
       {TFailKind::fkTruncated, 226, "Transfer ended short: 999 of 1000 bytes"}},
      {"refused request",
       [] { throw EHttpRequestRefused("Request refused: x"); },
       0,
       {TFailKind::fkNotSent, 0, "Request refused: x"}},
      {"bad argument",
       [] { throw EIdFTPBadArgument("bad name"); },
       0,
       {TFailKind::fkNotSent, 0, "bad name"}},
      {"framing",
       [] { throw ENetProtocolError("Bad chunk size: zz"); },
       200,
       {TFailKind::fkProtocol, 200, "Bad chunk size: zz"}},
      {"coding",
       [] { throw EHttpContentError("gzip: bad data"); },
       200,
       {TFailKind::fkProtocol, 200, "gzip: bad data"}},
      {"local file",
       [] { throw EByteStreamError("Error writing file"); },
       200,
       {TFailKind::fkLocalFile, 200, "Error writing file"}},
      {"anything else", [] { throw std::runtime_error("odd"); }, 7, {TFailKind::fkOther, 7, "odd"}},
      {"not an exception", [] { throw 5; }, 0, {TFailKind::fkOther, 0, "Unknown error"}},
      {"one line",
       [] { throw EIdProtocolReplyError(500, "500 Server\rError\r\nagain"); },
       500,
       {TFailKind::fkStatus, 500, "500 Server Error  again"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::exception_ptr e;
    try {
      c.raise();
    } catch (...) {
      e = std::current_exception();
    }
    const TFetchFailure f = FailureOf(e, c.codeSeen);
    EXPECT_EQ(f, c.failure) << static_cast<int>(f.Kind) << " " << f.Code << " " << f.Text;
    EXPECT_TRUE(f.Failed());
    EXPECT_EQ(f.OnStatus(), c.failure.Kind == TFailKind::fkStatus);
  }
  EXPECT_FALSE(TFetchFailure{}.Failed());
}

}  // namespace
}  // namespace qv
