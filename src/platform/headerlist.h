#pragma once

#include <string>
#include <vector>

namespace qv {

// An ordered list of header lines, each "Name: value" as sent or received.
// Names compare without regard to ASCII case; values are kept byte for byte.
class TIdHeaderList {
 public:
  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& operator[](int index) const { return FLines.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& Lines() const { return FLines; }
  void Add(const std::string& line) { FLines.push_back(line); }
  void AddValue(const std::string& name, const std::string& value) {
    FLines.push_back(name + ": " + value);
  }
  void Delete(int index);
  void Clear() { FLines.clear(); }
  void Assign(const TIdHeaderList& other) { FLines = other.FLines; }

  // The value of the first line with that name (any case), without the
  // blanks after the colon; "" when absent.
  std::string GetValue(const std::string& name) const;
  // Every value of lines with that name, in order.
  std::vector<std::string> GetValues(const std::string& name) const;
  // Replaces the first line with that name (or appends one); an empty value
  // deletes every line with that name.
  void SetValue(const std::string& name, const std::string& value);
  // Index of the first line with that name, -1 when none.
  int IndexOfName(const std::string& name) const;
  // The name of the line at index (the text before its colon, trimmed).
  std::string Names(int index) const;
  // The value of the line at index.
  std::string Values(int index) const;
  // Lines joined with CR LF after each.
  std::string Text() const;

 private:
  std::vector<std::string> FLines;
};

std::string TrimAscii(const std::string& s);

}  // namespace qv
