#include "platform/base64.h"

namespace qv {

std::string EncodeBase64(const std::string& bytes) {
  static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += Alphabet[(v >> 18) & 63];
    out += Alphabet[(v >> 12) & 63];
    out += Alphabet[(v >> 6) & 63];
    out += Alphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += Alphabet[(v >> 18) & 63];
    out += Alphabet[(v >> 12) & 63];
    out += rest == 2 ? Alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace qv
