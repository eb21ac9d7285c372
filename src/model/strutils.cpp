#include "model/strutils.h"

#include <algorithm>
#include <new>

namespace qv {

int TStringList::Add(std::string s, std::uint32_t tag) {
  Strings_.push_back(std::move(s));
  Objects_.push_back(tag);
  return Count() - 1;
}

void TStringList::Insert(int i, std::string s, std::uint32_t tag) {
  Strings_.insert(Strings_.begin() + i, std::move(s));
  Objects_.insert(Objects_.begin() + i, tag);
}

void TStringList::Delete(int i) {
  Strings_.erase(Strings_.begin() + i);
  Objects_.erase(Objects_.begin() + i);
}

void TStringList::Clear() {
  Strings_.clear();
  Objects_.clear();
}

int TStringList::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& e = Strings_[static_cast<std::size_t>(i)];
    if (e.size() == s.size() && CompareStrippedIC(e, s, {}) == 0) return i;
  }
  return -1;
}

static bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlankOrControl(s[b])) ++b;
  while (e > b && IsBlankOrControl(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsVowel(char c) { return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U'; }

// The matcher's texts end at a zero byte, as they always have.
std::string UpToZero(std::string_view s) { return std::string(s.substr(0, s.find('\0'))); }

// One match of an already prepared text against an already prepared pattern.
//
// The rules, read from the pattern's first byte: an equal byte (a "*" included)
// advances both; "?" (and, for the folding matcher, "@" and "$") takes one byte
// that passes its class; "*" lets the following fragment (up to the next "*")
// start at any later occurrence in the text. Because an equal byte is tried before
// the wildcard, a pattern "*" facing a text "*" is a literal step; when the text
// holds no "*" the rules are plain glob matching and the classic last-star
// backtracking decides them in O(n*m) time and no memory. Otherwise a table of
// "does the rest match from star j at text position x" is filled from the text's
// end backwards, again O(n*m).
class TWildMatcher {
 public:
  TWildMatcher(const std::string& text, const std::string& pattern, bool prefix, bool classes)
      : T_(text), P_(pattern), Prefix_(prefix), Classes_(classes) {}

  bool Match() {
    if (T_.find('*') == std::string::npos) return MatchPlain();
    return MatchTable();
  }

 private:
  bool IsClass(char c) const { return c == '?' || (Classes_ && (c == '@' || c == '$')); }

  // Does pattern byte j accept text byte x (x inside the text)?
  bool Single(std::size_t x, std::size_t j) const {
    const char p = P_[j];
    const char t = T_[x];
    if (p == t || p == '?') return true;
    if (!Classes_) return false;
    if (p == '@') return IsVowel(t);
    if (p == '$') {
      if (!(t >= 'A' && t <= 'Z') || IsVowel(t)) return false;
      if (t == 'Q' && x + 1 < T_.size() && T_[x + 1] == 'U') return false;
      if ((t == 'R' || t == 'W' || t == 'Y') && x > 0 && IsVowel(T_[x - 1])) return false;
      return true;
    }
    return false;
  }

  bool MatchPlain() const {
    const std::size_t n = T_.size(), m = P_.size();
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string::npos, starT = 0;
    for (;;) {
      if (p == m) {
        if (Prefix_ || t == n) return true;
      } else if (P_[p] == '*') {
        while (p < m && P_[p] == '*') ++p;
        if (p == m) return true;
        starP = p;
        starT = t;
        continue;
      } else if (t < n && Single(t, p)) {
        ++t;
        ++p;
        continue;
      }
      if (starP == std::string::npos || starT >= n) return false;
      t = ++starT;
      p = starP;
    }
  }

  // Follows the deterministic steps from (x, j) until the pattern ends, a step
  // fails, or a "*" is met facing a text byte other than "*"; the last case is
  // answered from the table.
  bool Run(std::size_t x, std::size_t j) const {
    const std::size_t n = T_.size(), m = P_.size();
    for (;;) {
      if (j == m) return Prefix_ || x == n;
      if (x < n && P_[j] == T_[x]) {
        ++x;
        ++j;
        continue;
      }
      if (P_[j] == '*') return Cell(x, j);
      if (x < n && IsClass(P_[j]) && Single(x, j)) {
        ++x;
        ++j;
        continue;
      }
      return false;
    }
  }

  bool Cell(std::size_t x, std::size_t j) const {
    return Table_[(x % Rows_) * Stars_.size() + static_cast<std::size_t>(StarIndex_[j])] != 0;
  }

  bool MatchTable() {
    const std::size_t n = T_.size(), m = P_.size();
    StarIndex_.assign(m, -1);
    for (std::size_t j = 0; j < m; ++j)
      if (P_[j] == '*') {
        StarIndex_[j] = static_cast<int>(Stars_.size());
        Stars_.push_back(j);
      }
    if (Stars_.empty()) return Run(0, 0);
    // A row looks ahead at most m text positions, so m + 2 rows are kept.
    Rows_ = std::min(n + 1, m + 2);
    constexpr std::size_t kMaxCells = std::size_t{1} << 26;
    if (Rows_ > kMaxCells / Stars_.size()) return false;
    Table_.assign(Rows_ * Stars_.size(), 0);

    for (std::size_t x = n + 1; x-- > 0;) {
      for (std::size_t k = 0; k < Stars_.size(); ++k) {
        std::size_t p = Stars_[k];
        while (p < m && P_[p] == '*') ++p;
        bool v;
        if (p == m) {
          v = true;
        } else {
          std::size_t q = p;
          while (q < m && P_[q] != '*') ++q;
          const std::size_t len = q - p;
          // Occurrences further on were decided in the row below.
          v = x < n && Table_[((x + 1) % Rows_) * Stars_.size() + k] != 0;
          if (!v && x + len <= n) {
            bool at = true;
            for (std::size_t i = 0; i < len && at; ++i) at = Single(x + i, p + i);
            v = at && Run(x + len, q);
          }
        }
        Table_[(x % Rows_) * Stars_.size() + k] = v ? 1 : 0;
      }
    }
    return Run(0, 0);
  }

  const std::string& T_;
  const std::string& P_;
  bool Prefix_;
  bool Classes_;
  std::vector<int> StarIndex_;
  std::vector<std::size_t> Stars_;
  std::size_t Rows_ = 1;
  std::vector<std::uint8_t> Table_;
};

// Removes every run of digits that directly follows an ASCII letter.
std::string FoldDigits(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    r.push_back(s[i]);
    if (IsLetter(s[i]))
      while (i + 1 < s.size() && IsDigit(s[i + 1])) ++i;
  }
  return r;
}

}  // namespace

bool StrWildCard(std::string_view text, std::string_view pattern, std::string_view ignored,
                 bool prefix, bool caseSensitive) {
  try {
    std::string t = UpToZero(text), p = UpToZero(pattern);
    if (!caseSensitive) {
      t = UpperCaseAscii(t);
      p = UpperCaseAscii(p);
    }
    StrRemCh(t, ignored);
    StrRemCh(p, ignored);
    return TWildMatcher(t, p, prefix, false).Match();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool StrWildCmpi(std::string_view text, std::string_view pattern, std::string_view ignored,
                 bool prefix) {
  try {
    std::string t = UpperCaseAscii(FoldDigits(UpToZero(text)));
    std::string p = UpperCaseAscii(FoldDigits(UpToZero(pattern)));
    StrRemCh(t, ignored);
    StrRemCh(p, ignored);
    return TWildMatcher(t, p, prefix, true).Match();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int AddStringIC(TStringList& list, std::string_view s, std::string_view ignored) {
  auto key = [&](std::string_view v) {
    std::string k = TrimBlanks(v);
    StrRemCh(k, ignored);
    return k;
  };
  const std::string t = key(s);
  if (t.empty()) return -1;
  for (int i = list.Count() - 1; i >= 0; --i)
    if (CompareStrippedIC(key(list[i]), t, {}) == 0) return -1;
  return list.Add(std::string(s));
}

void StrRemCh(std::string& text, std::string_view set) {
  if (set.empty()) return;
  // A table rather than a search of the set for every byte: every URL the
  // spider resolves passes through here.
  bool in[256] = {};
  for (const char c : set) in[static_cast<unsigned char>(c)] = true;
  std::erase_if(text, [&](char c) { return in[static_cast<unsigned char>(c)]; });
}

void StrReplaceChr(std::string& text, char a, char b) {
  std::replace(text.begin(), text.end(), a, b);
}

int CompareStrippedIC(std::string_view a, std::string_view b, std::string_view set) {
  std::string x(a), y(b);
  StrRemCh(x, set);
  StrRemCh(y, set);
  const std::size_t n = std::max(x.size(), y.size());
  for (std::size_t i = 0; i <= n; ++i) {
    const int cx = i < x.size() ? static_cast<unsigned char>(UpperAscii(x[i])) : 0;
    const int cy = i < y.size() ? static_cast<unsigned char>(UpperAscii(y[i])) : 0;
    if (cx != cy) return cx - cy;
    if (cx == 0 && i >= x.size()) break;
  }
  return 0;
}

int StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix ? 0 : 1;
}

std::string PercentDecoded(std::string_view text) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string CutAtDelimiter(std::string_view text, std::string_view set) {
  return std::string(text.substr(0, text.find_first_of(set)));
}

int StrNCmpId(std::string_view a, std::string_view b, std::size_t n, std::string_view set) {
  auto inSet = [&](std::string_view s) {
    return n >= s.size() || set.find(s[n]) != std::string_view::npos;
  };
  if (!inSet(a) || !inSet(b)) return 2;
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = i < a.size() ? static_cast<unsigned char>(UpperAscii(a[i])) : 0;
    const int cb = i < b.size() ? static_cast<unsigned char>(UpperAscii(b[i])) : 0;
    if (ca != cb) return ca - cb;
    if (ca == 0) break;
  }
  return 0;
}

std::size_t StrQStrI(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return kNoPos;
  bool inQuotes = false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (text[i] == '"') inQuotes = !inQuotes;
    if (!inQuotes && MatchesAtIC(text, i, word)) return i;
  }
  return kNoPos;
}

std::size_t StrStrI(std::string_view text, std::string_view word) { return FindIC(text, word); }

int FindSorted(std::span<const std::string> list, std::string_view s) {
  return SearchSorted(static_cast<int>(list.size()), [&](int i) {
    return std::string_view(list[static_cast<std::size_t>(i)]).compare(s);
  });
}

int IndexOfLast(std::span<const std::string> list, std::string_view s) {
  for (std::size_t i = list.size(); i-- > 0;)
    if (list[i] == s) return static_cast<int>(i);
  return -1;
}

}  // namespace qv
