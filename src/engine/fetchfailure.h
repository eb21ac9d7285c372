#pragma once

// Why a fetch failed, as the client that ran it saw it: a kind, the answer's
// code and one line of text. The HTTP and FTP clients keep the failure of
// their last operation as this value, and the worker threads hand it on to
// the record's details, so nothing has to guess the cause afterwards.

#include <cstdint>
#include <exception>
#include <string>

namespace qv {

enum class TFailKind : uint8_t {
  fkNone,         // no failure
  fkStatus,       // the server answered with a status (reply) it does not accept
  fkRedirect,     // a redirection that is not followed
  fkTimedOut,     // a wait passed its deadline
  fkCut,          // another thread cut the connection (the watchdog, a stop)
  fkUnreachable,  // the host: its name did not resolve, no address took the connection
  fkConnect,      // no connection otherwise: a port that is no port, the TLS handshake
  fkClosed,       // the peer closed the connection, or it was not open
  fkTruncated,    // the body ended before the length its framing announced
  fkProtocol,     // the peer broke the protocol: framing, a reply, a coding
  fkNotSent,      // the request was refused before anything was sent
  fkLocalFile,    // the local file could not be written
  fkOther,        // anything else
};

struct TFetchFailure {
  TFailKind Kind = TFailKind::fkNone;
  // The answer's status or reply code when the failure came (0: none yet).
  int32_t Code = 0;
  // One line: the reason as the failure gives it ("Read timed out.",
  // "404 Not Found", "Transfer ended short: 999 of 1000 bytes").
  std::string Text;

  bool Failed() const { return Kind != TFailKind::fkNone; }
  // The server refused, and its code alone says why.
  bool OnStatus() const { return Kind == TFailKind::fkStatus; }
  bool operator==(const TFetchFailure&) const = default;
};

// The failure an exception of the network layers stands for (e is being or
// was thrown): its kind, the code of the answer (a reply error's own code,
// else code) and the exception's text on one line (CR and LF become blanks:
// a peer's reason phrase may hold them).
TFetchFailure FailureOf(std::exception_ptr e, int32_t code);

}  // namespace qv
