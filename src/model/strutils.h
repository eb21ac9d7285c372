#pragma once
// Small text helpers shared by every layer: wildcard matching, duplicate-free
// list addition, case-insensitive searches and a few one-line operations.
//
// Texts are 8-bit byte strings. "Ignoring case" is the fold of
// platform/asciicase.h: ASCII letters compare after upper-casing, every other
// byte as itself. Byte order is the
// order of unsigned bytes. Every function here is pure (no state, no locks)
// and may be called from any thread; `TStringList` itself is a plain value
// and needs its owner's lock when shared.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/asciicase.h"

namespace qv {

// An ordered list of texts, each carrying a 32-bit tag (the "object" of a
// list box item or the attribute of a grid row). Not thread-safe.
class TStringList {
 public:
  int Count() const { return static_cast<int>(Strings_.size()); }
  bool Empty() const { return Strings_.empty(); }
  const std::string& operator[](int i) const { return Strings_[static_cast<std::size_t>(i)]; }
  std::uint32_t Object(int i) const { return Objects_[static_cast<std::size_t>(i)]; }
  void SetString(int i, std::string s) { Strings_[static_cast<std::size_t>(i)] = std::move(s); }
  void SetObject(int i, std::uint32_t tag) { Objects_[static_cast<std::size_t>(i)] = tag; }
  // Appends and returns the new entry's index.
  int Add(std::string s, std::uint32_t tag = 0);
  void Insert(int i, std::string s, std::uint32_t tag = 0);
  void Delete(int i);
  void Clear();
  // Index of the first entry equal to s ignoring case (the list's own search); -1 when none.
  int IndexOf(std::string_view s) const;
  const std::vector<std::string>& Strings() const { return Strings_; }

 private:
  std::vector<std::string> Strings_;
  std::vector<std::uint32_t> Objects_;
};

// The "not found" answer of the position searches below.
inline constexpr std::size_t kNoPos = std::string_view::npos;

// The text without its leading and trailing blanks and control bytes (bytes <= 0x20).
std::string TrimBlanks(std::string_view s);

// Matches text against a pattern where "*" stands for any run of characters and
// "?" for exactly one. Unless caseSensitive, both are upper-cased first; then every
// byte of `ignored` is removed from both. With prefix set, the pattern need only
// match a beginning of the text. A "*" in the pattern that meets a "*" in the text
// is taken as that literal character, as the matcher always has. Both texts end at
// their first zero byte. Time is at most proportional to text length times pattern
// length (no exponential backtracking); when working memory cannot be had the answer
// is "no match". Shows no message; safe on worker threads.
bool StrWildCard(std::string_view text, std::string_view pattern, std::string_view ignored = {},
                 bool prefix = false, bool caseSensitive = false);

// As StrWildCard, after folding both texts: every run of digits directly after an
// ASCII letter is removed ("AB12C3" -> "ABC"), then both are upper-cased, then the
// bytes of `ignored` removed. Two more pattern classes, each taking one text byte
// when it differs from the pattern byte: "@" a vowel (A E I O U) and "$" a consonant
// (an ASCII letter that is not a vowel, except a "Q" followed in the text by "U" and
// an "R", "W" or "Y" preceded in the text by a vowel). Same bounds as StrWildCard.
bool StrWildCmpi(std::string_view text, std::string_view pattern, std::string_view ignored = {},
                 bool prefix = false);

// Adds s to the list unless the list already holds an entry that equals it once both
// are trimmed of blanks and control bytes, stripped of the bytes of `ignored` and
// compared ignoring case. A text that is empty after trimming and stripping is never
// added. Returns the new entry's index, or -1 when nothing was added. The entry added
// is s itself, untrimmed, with tag 0.
int AddStringIC(TStringList& list, std::string_view s, std::string_view ignored = {});

// Removes every byte of `set` from text, in place.
void StrRemCh(std::string& text, std::string_view set);
// Replaces every byte a by b, in place.
void StrReplaceChr(std::string& text, char a, char b);
// Compares a and b ignoring case after removing the bytes of `set` from both:
// 0 when equal, else the difference of the first unequal upper-cased bytes (as
// unsigned values; the end of a text counts as byte 0).
int CompareStrippedIC(std::string_view a, std::string_view b, std::string_view set);
// 0 when text begins with prefix, byte-exact (an empty prefix always gives 0); else 1.
int StartsWith(std::string_view text, std::string_view prefix);
// The text up to (not including) its first byte from `set`; the whole text when none occurs.
std::string CutAtDelimiter(std::string_view text, std::string_view set);
// The text with each %XX escape (two hexadecimal digits) made its byte; a "%"
// without two digits after it stays as it is.
std::string PercentDecoded(std::string_view text);
// Appends the UTF-8 bytes of a code point (at most U+10FFFF; the caller keeps
// surrogates out).
void AppendUtf8(std::string& out, std::uint32_t codePoint);
// When the bytes at index n of a and of b are both in `set` (a text's end counts as
// in the set), the comparison of the first n bytes ignoring case (0 when equal, else
// the difference of the first unequal upper-cased bytes); otherwise 2.
int StrNCmpId(std::string_view a, std::string_view b, std::size_t n, std::string_view set);
// First index where word occurs in text ignoring case, outside double-quoted stretches:
// a double quote toggles the in-quotes state at its own position (so the opening quote
// cannot match and the closing one can). kNoPos when none.
std::size_t StrQStrI(std::string_view text, std::string_view word);
// First index where word occurs in text ignoring case; kNoPos when none.
std::size_t StrStrI(std::string_view text, std::string_view word);
// Binary search over `count` sorted items, where itemVsKey(i) is <0, 0 or >0 as
// item i sorts before, equal to or after the key sought: the index of an equal
// item, or the bitwise complement of the position where the key would be
// inserted (~count past the end). Keys mostly arrive in order, so the last item
// is tried first.
template <class ItemVsKey>
int SearchSorted(int count, ItemVsKey&& itemVsKey) {
  if (count <= 0) return ~0;
  const int last = itemVsKey(count - 1);
  if (last < 0) return ~count;
  if (last == 0) return count - 1;
  int low = 0, high = count - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int c = itemVsKey(mid);
    if (c < 0) {
      low = mid + 1;
    } else if (c == 0) {
      return mid;
    } else {
      high = mid - 1;
    }
  }
  return ~low;
}
// Exact binary search in a list sorted by byte order: the index of s, or the bitwise
// complement of the position where it would be inserted (~Count() past the end).
int FindSorted(std::span<const std::string> list, std::string_view s);
// Index of the last entry equal to s byte-exactly; -1 when none.
int IndexOfLast(std::span<const std::string> list, std::string_view s);

}  // namespace qv
