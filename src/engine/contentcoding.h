#pragma once

// The content codings an HTTP body may arrive in (RFC 9110 8.4.1): gzip
// (RFC 1952, also named "x-gzip"), and deflate, which RFC 9110 defines as a
// zlib stream (RFC 1950) but servers also send as bare deflate data (RFC
// 1951); both are read. A body is decoded as it arrives, into the stream
// that would have held it, with bounds: no more than a cap of decoded bytes,
// and past a floor no more than a ratio of decoded to coded bytes, so a small
// answer cannot fill the disk.
//
// Failures raise EHttpContentError with the reason: data that does not
// decode, data that ends before the coding's end, a bound passed, a coding
// that cannot be undone. Not thread-safe; one body at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/bytestream.h"
#include "platform/net.h"

namespace qv {

class EHttpContentError : public ENetError {
 public:
  using ENetError::ENetError;
};

enum class TContentCoding : uint8_t {
  ccIdentity,     // nothing to undo (no value, "identity", or a name we do not know)
  ccGzip,         //
  ccDeflate,      //
  ccUnsupported,  // several codings, or gzip or deflate together with another
};

// The Accept-Encoding value of a request for a whole document: gzip, which
// every server that codes at all offers (deflate comes in two forms, and a
// server that has it has gzip too).
inline constexpr char kAcceptedCodings[] = "gzip";

// The coding a Content-Encoding value names. Names we do not know are taken
// for none, as browsers take them ("utf-8", "binary" and the like are seen on
// real servers); a gzip or deflate among other codings cannot be undone.
TContentCoding ContentCodingOf(const std::string& contentEncoding);

// Whether a body of that content type is a gzip file by itself: servers that
// label ".gz" files with "Content-Encoding: gzip" mean the file, not a coding
// over it, and the file is what is to be stored.
bool IsGzipFileType(const std::string& contentType);

// A write-only stream that decodes what is written and writes the decoded
// bytes to the target.
class TContentDecoder : public TByteStream {
 public:
  // Decoded bytes are never checked against the ratio below this many.
  static constexpr int64_t RatioFloor = 8 << 20;

  // coding is ccGzip or ccDeflate. maxDecoded: the most decoded bytes (0 =
  // no cap); maxRatio: the most decoded bytes per coded byte past the floor
  // (0 = no cap).
  TContentDecoder(TByteStream& target, TContentCoding coding, int64_t maxDecoded, int64_t maxRatio);
  ~TContentDecoder() override;
  TContentDecoder(const TContentDecoder&) = delete;
  TContentDecoder& operator=(const TContentDecoder&) = delete;

  void Write(const char* data, size_t n) override;
  // All the coded data has been written: raises when it ended early. An
  // empty body decodes to an empty one.
  void Finish();

  size_t Read(char*, size_t) override;
  int64_t Size() const override { return FCoded; }
  int64_t Position() const override { return FCoded; }
  void Seek(int64_t position) override;
  void SetSize(int64_t size) override;

 private:
  struct TState;
  void Start();
  void Feed(const unsigned char* data, size_t n);

  TByteStream& FTarget;
  TContentCoding FCoding;
  int64_t FMaxDecoded;
  int64_t FMaxRatio;
  int64_t FCoded = 0;
  int64_t FDecoded = 0;
  std::string FHead;  // the first bytes, until the deflate form is known
  std::unique_ptr<TState> FState;
};

// The name a coding is shown by in a failure's reason.
const char* ContentCodingName(TContentCoding coding);

}  // namespace qv
