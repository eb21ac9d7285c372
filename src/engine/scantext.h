#pragma once

// Byte-level helpers shared by the HTML and style-sheet scanners. They work on
// zero-terminated text and never step past the terminating zero: every
// comparison stops at the first unequal byte, and the zero equals nothing the
// callers look for.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/asciicase.h"

namespace qv::scan {

// The first byte at or after p that is a, b, c, d or the terminating zero.
//
// Reads 16 aligned bytes at a time: an aligned block never crosses a page, so
// the bytes read past the zero are never outside mapped memory, though they
// may be outside the string, which is why the address and thread sanitizers
// are told to let these functions be.
#if defined(__SSE2__)
__attribute__((no_sanitize("address", "thread"))) inline const char* FindAnyOf(const char* p,
                                                                               char a, char b,
                                                                               char c, char d) {
  const std::uintptr_t misalign = reinterpret_cast<std::uintptr_t>(p) & 15;
  const char* block = p - misalign;
  const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c), vd = _mm_set1_epi8(d);
  const __m128i zero = _mm_setzero_si128();
  unsigned mask = 0xFFFFu << misalign;  // ignore the bytes before p
  for (;;) {
    const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                                  _mm_or_si128(_mm_cmpeq_epi8(x, vc), _mm_cmpeq_epi8(x, vd))),
                     _mm_cmpeq_epi8(x, zero));
    const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit)) & mask;
    if (bits) return block + __builtin_ctz(bits);
    block += 16;
    mask = 0xFFFFu;
  }
}
#else
inline const char* FindAnyOf(const char* p, char a, char b, char c, char d) {
  while (*p && *p != a && *p != b && *p != c && *p != d) ++p;
  return p;
}
#endif

#if defined(__SSE2__)
// FindAnyOf for one byte (and the zero), with half the work per block.
__attribute__((no_sanitize("address", "thread"))) inline const char* FindAnyOf(const char* p,
                                                                               char a) {
  const std::uintptr_t misalign = reinterpret_cast<std::uintptr_t>(p) & 15;
  const char* block = p - misalign;
  const __m128i va = _mm_set1_epi8(a);
  const __m128i zero = _mm_setzero_si128();
  unsigned mask = 0xFFFFu << misalign;
  for (;;) {
    const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, zero));
    const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit)) & mask;
    if (bits) return block + __builtin_ctz(bits);
    block += 16;
    mask = 0xFFFFu;
  }
}
#else
inline const char* FindAnyOf(const char* p, char a) { return FindAnyOf(p, a, a, a, a); }
#endif
inline const char* FindAnyOf(const char* p, char a, char b) { return FindAnyOf(p, a, b, b, b); }

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The program's one letter fold (platform/asciicase.h), as the unsigned byte
// the scanners order and index by.
inline unsigned char Upper(char c) { return static_cast<unsigned char>(UpperAscii(c)); }

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

inline const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// Does the text at p start with word, ignoring ASCII case? Stops at the first
// unequal byte, so it never reads past the text's terminating zero.
inline bool StartsWithIC(const char* p, std::string_view word) {
  for (std::size_t i = 0; i < word.size(); ++i)
    if (Upper(p[i]) != Upper(word[i]) || p[i] == '\0') return false;
  return true;
}

// Byte-exact variant of StartsWithIC.
inline bool StartsWith(const char* p, std::string_view word) {
  for (std::size_t i = 0; i < word.size(); ++i)
    if (p[i] != word[i] || p[i] == '\0') return false;
  return true;
}

using qv::EqualsIC;

// Trims bytes up to and including the blank (control bytes too) at both ends
// of [b, e), the way the program trims every value it reads.
inline void Trim(const char*& b, const char*& e) {
  while (b < e && static_cast<unsigned char>(*b) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(e[-1]) <= ' ') --e;
}

inline std::string_view Trimmed(std::string_view s) {
  const char* b = s.data();
  const char* e = b + s.size();
  Trim(b, e);
  return {b, static_cast<std::size_t>(e - b)};
}

// A link as written back into a page or style sheet: "\\" becomes "/", and the
// bytes that would end the value or open markup (quotes, "<", ">", blanks,
// control bytes, and extra for style sheets) are percent-encoded. A link
// resolved against a page's base can carry such bytes from the base; written
// raw they would break the attribute and inject markup into the page.
inline std::string LinkForText(std::string_view link, std::string_view extra = {}) {
  static const char kHex[] = "0123456789ABCDEF";
  // The bytes that never stay as they are: "\\" and those escaped.
  static const auto kChanged = [] {
    std::array<bool, 256> t{};
    for (int u = 0; u < 256; ++u)
      t[static_cast<std::size_t>(u)] =
          u <= ' ' || u == 0x7F || u == '"' || u == '\'' || u == '<' || u == '>' || u == '\\';
    return t;
  }();
  std::string out;
  out.reserve(link.size());
  // Runs of bytes that stay as they are go in whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < link.size(); ++i) {
    const char c = link[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (!kChanged[u]) {
      bool extraByte = false;
      for (char x : extra) extraByte = extraByte || c == x;
      if (!extraByte) continue;
    }
    out.append(link, run, i - run);
    run = i + 1;
    if (c == '\\') {
      out += '/';
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  out.append(link, run, std::string_view::npos);
  return out;
}

}  // namespace qv::scan
