#pragma once
// Letter case of 8-bit text: the one fold behind every case-blind comparison
// in the program (header names, URL schemes and hosts, file extensions, tag
// names, content types, settings words).
//
// Only the ASCII letters have a case: "A".."Z" and "a".."z" match each other,
// every other byte matches only itself. The fold never asks the C library,
// whose answers follow the process's locale (the user-interface toolkit sets
// it from the environment), so a Latin-1 byte can never pass for a letter.
// Orderings compare the upper-cased bytes as unsigned values, a text before
// every longer text it begins. Everything here is pure and may be called from
// any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string UpperCaseAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperAscii(c);
  return r;
}

inline std::string LowerCaseAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerAscii(c);
  return r;
}

// Does word stand in text at index at? False when it would run past the end
// (or at is past it).
constexpr bool MatchesAtIC(std::string_view text, std::size_t at, std::string_view word) {
  if (at > text.size() || text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (UpperAscii(text[at + i]) != UpperAscii(word[i])) return false;
  return true;
}

constexpr bool EqualsIC(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchesAtIC(a, 0, b);
}

constexpr bool StartsWithIC(std::string_view text, std::string_view prefix) {
  return MatchesAtIC(text, 0, prefix);
}

constexpr bool EndsWithIC(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && MatchesAtIC(text, text.size() - suffix.size(), suffix);
}

// -1, 0 or 1 as a sorts before, with or after b.
constexpr int CompareIC(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The first index at or after from where word stands in text; npos when none
// (an empty word stands at from when from is inside the text or at its end).
constexpr std::size_t FindIC(std::string_view text, std::string_view word, std::size_t from = 0) {
  if (from > text.size() || text.size() - from < word.size()) return std::string_view::npos;
  for (std::size_t i = from; i + word.size() <= text.size(); ++i)
    if (MatchesAtIC(text, i, word)) return i;
  return std::string_view::npos;
}

}  // namespace qv
