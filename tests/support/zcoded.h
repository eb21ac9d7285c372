#pragma once

// Bodies in the gzip and deflate content codings, made with zlib, for tests
// that serve them.

#include <stdexcept>
#include <string>

#include <zlib.h>

namespace qv::test {

enum TZForm { zGzip, zZlib, zRawDeflate };

inline std::string ZCoded(const std::string& data, TZForm form, int level = 6) {
  z_stream z{};
  const int bits = form == zGzip ? 15 + 16 : form == zZlib ? 15 : -15;
  if (deflateInit2(&z, level, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline std::string Gzipped(const std::string& data) { return ZCoded(data, zGzip); }

}  // namespace qv::test
