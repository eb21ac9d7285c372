#pragma once

#include <string>
#include <vector>

namespace qv {

// Text as a list of lines: a line ends at CR, LF or CR LF; a final line
// break adds no empty line, so "" is no lines at all.
inline std::vector<std::string> TextToLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, j - i));
    if (j < n && text[j] == '\r') ++j;
    if (j < n && text[j] == '\n') ++j;
    i = j;
  }
  return lines;
}

// Lines joined into one text, each followed by CR LF.
inline std::string LinesToText(const std::vector<std::string>& lines) {
  std::string t;
  for (const auto& l : lines) {
    t += l;
    t += "\r\n";
  }
  return t;
}

}  // namespace qv
