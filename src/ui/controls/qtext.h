#pragma once

#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "model/dropbytes.h"

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

// Texts exchanged with other programs (clipboard, drops, window captions)
// cross as UTF-8: bytes that are valid UTF-8 are read as UTF-8, others as
// Latin-1, and what comes back from Qt is UTF-8, so no character is lost.
inline QString ExternalToQ(const std::string& s) {
  if (IsValidUtf8(s)) return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  return ToQ(s);
}

inline std::string ExternalFromQ(const QString& s) {
  const QByteArray b = s.toUtf8();
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

// Adapters that let the shared edit-box helpers (EditTextToList and friends)
// work on Qt boxes.
template <class TEdit>
struct TQtTextBox {
  TEdit* Box;
  std::string Text() const { return FromQ(Box->text()); }
  void SetText(const std::string& s) { Box->setText(ToQ(s)); }
};

template <class TCombo>
struct TQtComboBox {
  TCombo* Box;
  std::string Text() const { return FromQ(Box->currentText()); }
  void SetText(const std::string& s) { Box->setCurrentText(ToQ(s)); }
};

}  // namespace qv
