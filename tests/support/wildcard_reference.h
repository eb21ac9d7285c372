#pragma once
// The wildcard rules written as the plain recursive search they were first
// defined by. Exponential in the number of "*": for small inputs only, as the
// oracle the bounded matcher is checked against.

#include <string>
#include <string_view>

namespace qv::testref {

inline std::string Prepare(std::string_view s, std::string_view ignored, bool upper,
                           bool foldDigits) {
  std::string t(s.substr(0, s.find('\0')));
  if (foldDigits) {
    std::string r;
    for (std::size_t i = 0; i < t.size(); ++i) {
      r += t[i];
      const char c = t[i];
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        while (i + 1 < t.size() && t[i + 1] >= '0' && t[i + 1] <= '9') ++i;
    }
    t = r;
  }
  if (upper)
    for (char& c : t)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  std::string r;
  for (char c : t)
    if (ignored.find(c) == std::string_view::npos) r += c;
  return r;
}

struct TRefMatcher {
  std::string T, P;
  bool Prefix = false;
  bool Classes = false;

  static bool Vowel(char c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U'; }
  bool ClassOk(char p, std::size_t x) const {  // x < T.size()
    char t = T[x];
    if (p == '?') return true;
    if (!Classes) return false;
    if (p == '@') return Vowel(t);
    if (p == '$') {
      if (!(t >= 'A' && t <= 'Z') || Vowel(t)) return false;
      if (t == 'Q' && x + 1 < T.size() && T[x + 1] == 'U') return false;
      if ((t == 'R' || t == 'W' || t == 'Y') && x > 0 && Vowel(T[x - 1])) return false;
      return true;
    }
    return false;
  }
  // The text and pattern as C strings: index == size reads as the zero byte.
  char At(const std::string& s, std::size_t i) const { return i < s.size() ? s[i] : '\0'; }

  bool Match(std::size_t x, std::size_t j) const {
    for (;;) {
      if (j == P.size() && Prefix) return true;
      const char p = At(P, j), t = At(T, x);
      if (p == t) {
        if (t == '\0') return true;
        ++x, ++j;
        continue;
      }
      if (p == '?' || (Classes && (p == '@' || p == '$'))) {
        if (t == '\0' || !ClassOk(p, x)) return false;
        ++x, ++j;
        continue;
      }
      if (p != '*') return false;
      while (At(P, j) == '*') ++j;
      if (j == P.size()) return true;
      std::size_t end = j;
      while (end < P.size() && P[end] != '*') ++end;
      const std::size_t len = end - j;
      for (std::size_t o = x; o + len <= T.size(); ++o) {
        bool ok = true;
        for (std::size_t i = 0; i < len && ok; ++i)
          ok = P[j + i] == T[o + i] || ClassOk(P[j + i], o + i);
        if (ok && Match(o + len, end)) return true;
      }
      return false;
    }
  }
};

inline bool RefWildCard(std::string_view text, std::string_view pattern, std::string_view ignored,
                        bool prefix, bool caseSensitive) {
  TRefMatcher m{Prepare(text, ignored, !caseSensitive, false),
                Prepare(pattern, ignored, !caseSensitive, false), prefix, false};
  return m.Match(0, 0);
}

inline bool RefWildCmpi(std::string_view text, std::string_view pattern, std::string_view ignored,
                        bool prefix) {
  TRefMatcher m{Prepare(text, ignored, true, true), Prepare(pattern, ignored, true, true), prefix,
                true};
  return m.Match(0, 0);
}

}  // namespace qv::testref
