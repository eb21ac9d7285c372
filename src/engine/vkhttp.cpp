#include "engine/vkhttp.h"

#include "platform/asciicase.h"

namespace qv {

namespace {

struct TCodeText {
  int32_t Code;
  const char* Text;
};

// Reason phrases as the program has always shown them (RFC 2616 wording).
const TCodeText StandardTexts[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {407, "Proxy Authentication Required"},
    {408, "Request Time-out"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Large"},
    {415, "Unsupported Media Type"},
    {416, "Requested range not satisfiable"},
    {417, "Expectation Failed"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Time-out"},
    {505, "HTTP Version not supported"},
};

// The program's own codes, shown without the number.
const TCodeText OwnTexts[] = {
    {0, "Server not Found"},      {406, "Content filtered"},  {-1, "Contacted but no response"},
    {-2, "Retrieved from cache"}, {-406, "Content filtered"}, {-412, "Precondition Failed"},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string ValueOrBlank(const std::string& v) { return v.empty() ? std::string(" ") : v; }

}  // namespace

std::string HttpStatusText(int32_t code) {
  for (const auto& t : OwnTexts)
    if (t.Code == code) return t.Text;
  for (const auto& t : StandardTexts)
    if (t.Code == code) return std::string(t.Text) + " (" + std::to_string(code) + ")";
  return "";
}

std::string GetHeaderField(const std::string& block, const std::string& name) {
  if (block.empty()) return "";
  size_t p = 0;
  const size_t n = block.size();
  while (p < n) {
    while (p < n && (IsBlank(block[p]) || IsLineBreak(block[p]))) ++p;
    if (p >= n) break;
    size_t end = p;
    while (end < n && !IsLineBreak(block[end])) ++end;
    if (MatchesAtIC(block, p, name) && p + name.size() <= end) {
      size_t v = p + name.size();
      while (v < end && (IsBlank(block[v]) || block[v] == ':')) ++v;
      return ValueOrBlank(Trim(block.substr(v, end - v)));
    }
    p = end;
  }
  return "";
}

std::string GetParamValue(const std::string& list, const std::string& name) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t semi = list.find(';', start);
    std::string piece =
        list.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
    size_t p = 0;
    while (p < piece.size() && IsBlank(piece[p])) ++p;
    if (MatchesAtIC(piece, p, name)) {
      size_t q = p + name.size();
      while (q < piece.size() && IsBlank(piece[q])) ++q;
      if (q >= piece.size()) return " ";
      if (piece[q] == '=') return ValueOrBlank(Trim(piece.substr(q + 1)));
    }
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return "";
}

}  // namespace qv
