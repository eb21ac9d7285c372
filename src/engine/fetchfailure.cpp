#include "engine/fetchfailure.h"

#include <stdexcept>

#include "engine/contentcoding.h"
#include "engine/idhttp.h"
#include "platform/bytestream.h"
#include "platform/ftp.h"
#include "platform/net.h"

namespace qv {

namespace {

// The most specific class first: a redirection is a reply error, a size
// mismatch a protocol error.
TFailKind KindOf(std::exception_ptr e, std::string& text, int32_t& code) {
  try {
    std::rethrow_exception(e);
  } catch (const EHttpRedirectError& x) {
    text = x.what();
    code = x.ReplyCode;
    return TFailKind::fkRedirect;
  } catch (const EIdProtocolReplyError& x) {
    text = x.what();
    code = x.ReplyCode;
    return TFailKind::fkStatus;
  } catch (const ENetTimeout& x) {
    text = x.what();
    return TFailKind::fkTimedOut;
  } catch (const ENetCancelled& x) {
    text = x.what();
    return TFailKind::fkCut;
  } catch (const ENetUnreachable& x) {
    text = x.what();
    return TFailKind::fkUnreachable;
  } catch (const ENetConnectError& x) {
    text = x.what();
    return TFailKind::fkConnect;
  } catch (const ENetClosedGracefully& x) {
    text = x.what();
    return TFailKind::fkClosed;
  } catch (const ENetNotConnected& x) {
    text = x.what();
    return TFailKind::fkClosed;
  } catch (const EHttpTruncated& x) {
    text = x.what();
    return TFailKind::fkTruncated;
  } catch (const EIdFTPSizeMismatch& x) {
    text = x.what();
    return TFailKind::fkTruncated;
  } catch (const EHttpRequestRefused& x) {
    text = x.what();
    return TFailKind::fkNotSent;
  } catch (const EIdFTPBadArgument& x) {
    text = x.what();
    return TFailKind::fkNotSent;
  } catch (const ENetProtocolError& x) {
    text = x.what();
    return TFailKind::fkProtocol;
  } catch (const EHttpContentError& x) {
    text = x.what();
    return TFailKind::fkProtocol;
  } catch (const EByteStreamError& x) {
    text = x.what();
    return TFailKind::fkLocalFile;
  } catch (const std::exception& x) {
    text = x.what();
    return TFailKind::fkOther;
  } catch (...) {
    text = "Unknown error";
    return TFailKind::fkOther;
  }
}

}  // namespace

TFetchFailure FailureOf(std::exception_ptr e, int32_t code) {
  TFetchFailure f;
  f.Code = code;
  try {
    f.Kind = KindOf(e, f.Text, f.Code);
    for (char& c : f.Text)
      if (c == '\r' || c == '\n') c = ' ';
  } catch (...) {
    // No memory for the text: the kind still says what happened.
    f.Text.clear();
  }
  return f;
}

}  // namespace qv
