#include "engine/contentcoding.h"

#include <algorithm>
#include <vector>

#include <zlib.h>

#include "model/strutils.h"
#include "platform/asciicase.h"

namespace qv {

namespace {

constexpr size_t OutChunk = 64 * 1024;

// A zlib stream (RFC 1950 2.2): compression method 8 with a window of at
// most 32 KiB, and a header that is a multiple of 31.
bool IsZlibHeader(unsigned char cmf, unsigned char flg) {
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
}

}  // namespace

TContentCoding ContentCodingOf(const std::string& contentEncoding) {
  // RFC 9110 8.4: a list, in the order the codings were applied.
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= contentEncoding.size()) {
    const size_t comma = contentEncoding.find(',', start);
    const std::string name = LowerCaseAscii(TrimBlanks(contentEncoding.substr(
        start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (!name.empty() && name != "identity") names.push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  bool known = false;
  for (const std::string& n : names)
    if (n == "gzip" || n == "x-gzip" || n == "deflate") known = true;
  if (!known) return TContentCoding::ccIdentity;
  if (names.size() != 1) return TContentCoding::ccUnsupported;
  return names[0] == "deflate" ? TContentCoding::ccDeflate : TContentCoding::ccGzip;
}

bool IsGzipFileType(const std::string& contentType) {
  const std::string t = LowerCaseAscii(TrimBlanks(contentType.substr(0, contentType.find(';'))));
  return t == "application/gzip" || t == "application/x-gzip" || t == "application/x-gunzip" ||
         t == "application/x-tgz" || t == "application/x-compressed-tar";
}

const char* ContentCodingName(TContentCoding coding) {
  switch (coding) {
    case TContentCoding::ccGzip:
      return "gzip";
    case TContentCoding::ccDeflate:
      return "deflate";
    default:
      return "identity";
  }
}

struct TContentDecoder::TState {
  enum TPhase { phMember, phBetween, phTrailing };
  z_stream Z{};
  bool Open = false;
  TPhase Phase = phMember;
  std::string Magic;  // the first bytes after a gzip member, until two are there
  std::vector<unsigned char> Out = std::vector<unsigned char>(OutChunk);
  ~TState() {
    if (Open) inflateEnd(&Z);
  }
};

TContentDecoder::TContentDecoder(TByteStream& target, TContentCoding coding, int64_t maxDecoded,
                                 int64_t maxRatio)
    : FTarget(target),
      FCoding(coding),
      FMaxDecoded(maxDecoded),
      FMaxRatio(maxRatio),
      FState(std::make_unique<TState>()) {
  if (coding != TContentCoding::ccGzip && coding != TContentCoding::ccDeflate)
    throw EHttpContentError("Content coding not decodable: " +
                            std::string(ContentCodingName(coding)));
}

TContentDecoder::~TContentDecoder() = default;

void TContentDecoder::Start() {
  int windowBits = 15 + 16;  // gzip only
  if (FCoding == TContentCoding::ccDeflate) {
    const bool zlib = FHead.size() >= 2 && IsZlibHeader(static_cast<unsigned char>(FHead[0]),
                                                        static_cast<unsigned char>(FHead[1]));
    windowBits = zlib ? 15 : -15;
  }
  if (inflateInit2(&FState->Z, windowBits) != Z_OK)
    throw EHttpContentError("Content-Encoding " + std::string(ContentCodingName(FCoding)) +
                            ": no memory to decode");
  FState->Open = true;
}

void TContentDecoder::Write(const char* data, size_t n) {
  if (n == 0) return;
  FCoded += static_cast<int64_t>(n);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  if (!FState->Open) {
    // Which form of deflate this is shows in its first two bytes.
    if (FCoding == TContentCoding::ccDeflate && FHead.size() < 2) {
      const size_t take = std::min(n, 2 - FHead.size());
      FHead.append(data, take);
      bytes += take;
      n -= take;
      if (FHead.size() < 2) return;
    }
    Start();
    if (!FHead.empty()) {
      const std::string head = std::move(FHead);
      FHead.clear();
      Feed(reinterpret_cast<const unsigned char*>(head.data()), head.size());
    }
  }
  Feed(bytes, n);
}

void TContentDecoder::Feed(const unsigned char* data, size_t n) {
  TState& s = *FState;
  const std::string name = ContentCodingName(FCoding);
  while (n > 0) {
    if (s.Phase == TState::phTrailing) return;  // bytes after the data: not part of it
    if (s.Phase == TState::phBetween) {
      // RFC 1952 2.2: a gzip file is a series of members. Whatever follows
      // the last one is no part of the body.
      const size_t take = std::min(n, 2 - s.Magic.size());
      s.Magic.append(reinterpret_cast<const char*>(data), take);
      data += take;
      n -= take;
      if (s.Magic.size() < 2) return;
      if (static_cast<unsigned char>(s.Magic[0]) != 0x1F ||
          static_cast<unsigned char>(s.Magic[1]) != 0x8B) {
        s.Phase = TState::phTrailing;
        return;
      }
      inflateReset(&s.Z);
      s.Phase = TState::phMember;
      const std::string magic = std::move(s.Magic);
      s.Magic.clear();
      Feed(reinterpret_cast<const unsigned char*>(magic.data()), magic.size());
      continue;
    }
    s.Z.next_in = const_cast<unsigned char*>(data);
    s.Z.avail_in = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    const size_t given = s.Z.avail_in;
    int rc = Z_OK;
    do {
      s.Z.next_out = s.Out.data();
      s.Z.avail_out = static_cast<uInt>(s.Out.size());
      rc = inflate(&s.Z, Z_NO_FLUSH);
      if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_STREAM_ERROR || rc == Z_MEM_ERROR)
        throw EHttpContentError("Content-Encoding " + name + ": the body does not decode (" +
                                (s.Z.msg ? s.Z.msg : "bad data") + ")");
      const size_t have = s.Out.size() - s.Z.avail_out;
      if (have > 0) {
        if (FMaxDecoded > 0 && FDecoded + static_cast<int64_t>(have) > FMaxDecoded)
          throw EHttpContentError("Content-Encoding " + name + ": decoded body over " +
                                  std::to_string(FMaxDecoded) + " bytes");
        FDecoded += static_cast<int64_t>(have);
        if (FMaxRatio > 0 && FDecoded > RatioFloor && FDecoded / FMaxRatio > FCoded)
          throw EHttpContentError("Content-Encoding " + name + ": decoded body over " +
                                  std::to_string(FMaxRatio) + " times its coded size");
        FTarget.Write(reinterpret_cast<const char*>(s.Out.data()), have);
      }
    } while (rc != Z_STREAM_END && (s.Z.avail_in > 0 || s.Z.avail_out == 0) && rc != Z_BUF_ERROR);
    const size_t used = given - s.Z.avail_in;
    if (used == 0 && rc != Z_STREAM_END)
      throw EHttpContentError("Content-Encoding " + name + ": the body does not decode");
    data += used;
    n -= used;
    if (rc == Z_STREAM_END)
      s.Phase = FCoding == TContentCoding::ccGzip ? TState::phBetween : TState::phTrailing;
  }
}

void TContentDecoder::Finish() {
  if (FCoded == 0) return;  // no body at all: nothing was coded
  if (!FState->Open) {
    Start();
    const std::string head = std::move(FHead);
    FHead.clear();
    Feed(reinterpret_cast<const unsigned char*>(head.data()), head.size());
  }
  if (FState->Phase == TState::phMember)
    throw EHttpContentError("Content-Encoding " + std::string(ContentCodingName(FCoding)) +
                            ": the body ends before its coded data does");
}

size_t TContentDecoder::Read(char*, size_t) {
  throw EByteStreamError("A body being decoded is not read back");
}

void TContentDecoder::Seek(int64_t position) {
  if (position != FCoded) throw EByteStreamError("A body being decoded is written in one run");
}

void TContentDecoder::SetSize(int64_t size) {
  if (size != FCoded) throw EByteStreamError("A body being decoded is written in one run");
}

}  // namespace qv
