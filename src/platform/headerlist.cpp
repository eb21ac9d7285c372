#include "platform/headerlist.h"

#include "platform/asciicase.h"

namespace qv {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value part of a line when its name matches, else npos.
size_t ValueStart(const std::string& line, const std::string& name) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return std::string::npos;
  size_t end = colon;
  while (end > 0 && IsBlank(line[end - 1])) --end;
  if (end != name.size() || !MatchesAtIC(line, 0, name)) return std::string::npos;
  size_t v = colon + 1;
  while (v < line.size() && IsBlank(line[v])) ++v;
  return v;
}
}  // namespace

std::string TrimAscii(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

void TIdHeaderList::Delete(int index) {
  if (index >= 0 && index < Count()) FLines.erase(FLines.begin() + index);
}

std::string TIdHeaderList::GetValue(const std::string& name) const {
  for (const auto& l : FLines) {
    size_t v = ValueStart(l, name);
    if (v != std::string::npos) return l.substr(v);
  }
  return "";
}

std::vector<std::string> TIdHeaderList::GetValues(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& l : FLines) {
    size_t v = ValueStart(l, name);
    if (v != std::string::npos) out.push_back(l.substr(v));
  }
  return out;
}

void TIdHeaderList::SetValue(const std::string& name, const std::string& value) {
  if (value.empty()) {
    for (size_t i = FLines.size(); i-- > 0;)
      if (ValueStart(FLines[i], name) != std::string::npos)
        FLines.erase(FLines.begin() + static_cast<long>(i));
    return;
  }
  int i = IndexOfName(name);
  if (i >= 0)
    FLines[static_cast<size_t>(i)] = name + ": " + value;
  else
    AddValue(name, value);
}

int TIdHeaderList::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (ValueStart(FLines[i], name) != std::string::npos) return static_cast<int>(i);
  return -1;
}

std::string TIdHeaderList::Names(int index) const {
  if (index < 0 || index >= Count()) return "";
  const std::string& l = FLines[static_cast<size_t>(index)];
  size_t colon = l.find(':');
  return TrimAscii(colon == std::string::npos ? l : l.substr(0, colon));
}

std::string TIdHeaderList::Values(int index) const {
  if (index < 0 || index >= Count()) return "";
  const std::string& l = FLines[static_cast<size_t>(index)];
  size_t colon = l.find(':');
  if (colon == std::string::npos) return "";
  size_t v = colon + 1;
  while (v < l.size() && IsBlank(l[v])) ++v;
  return l.substr(v);
}

std::string TIdHeaderList::Text() const {
  std::string s;
  for (const auto& l : FLines) s += l + "\r\n";
  return s;
}

}  // namespace qv
