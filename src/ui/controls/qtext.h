#pragma once

#include <string>
#include <vector>

#include <QString>
#include <QStringList>

namespace qv {

// The system's text is 8-bit and must survive a trip through a widget byte for
// byte, so it crosses into Qt as Latin-1 (every byte maps to one code point).
inline QString ToQ(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string FromQ(const QString& s) {
  const QByteArray b = s.toLatin1();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

inline QStringList ToQList(const std::vector<std::string>& v) {
  QStringList l;
  l.reserve(static_cast<qsizetype>(v.size()));
  for (const auto& s : v) l << ToQ(s);
  return l;
}

// Clipboard text split at every CR and LF, empty pieces dropped.
inline std::vector<std::string> SplitClipboardLines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

// Stand-in until the shared string helpers land; same rule: trimmed, ignored
// characters removed, compared ignoring case against every entry.
inline int AddTextIC(std::vector<std::string>& list, const std::string& s,
                     const std::string& ignored) {
  auto norm = [&](const std::string& x) {
    size_t b = 0, e = x.size();
    while (b < e && static_cast<unsigned char>(x[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(x[e - 1]) <= ' ') --e;
    std::string t;
    for (size_t i = b; i < e; ++i) {
      char c = x[i];
      if (ignored.find(c) != std::string::npos) continue;
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      t += c;
    }
    return t;
  };
  const std::string t = norm(s);
  if (t.empty()) return -1;
  for (size_t i = list.size(); i-- > 0;)
    if (norm(list[i]) == t) return -1;
  list.push_back(s);
  return static_cast<int>(list.size()) - 1;
}

}  // namespace qv
