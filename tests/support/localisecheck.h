#pragma once

// Checks of a localised page or style sheet against the text it was made
// from, for the localising tests: the same links in the same places, each
// leading to the stored body of its target (keeping its fragment) or, when
// that was not downloaded, to the target's absolute address; every byte
// outside the links as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "model/tvurlutils.h"
#include "model/uriparser.h"
#include "model/vkfile.h"

namespace qv::test {

// One link value found in a stored text: where, and the bytes.
struct TFoundLink {
  std::size_t At;
  std::string Value;
  bool Refresh;  // the URL of a meta refresh, which becomes a file URL
};

// The links the page rewriter handles in the fixtures' pages (their attributes
// are always quoted) and the url() references of their style sheets, @import
// rules included.
inline std::vector<TFoundLink> FindLinks(const std::string& text) {
  static const std::regex attr(
      R"re((?:\s)(?:href|src|background|longdesc)\s*=\s*(?:"([^"]*)"|'([^']*)'))re",
      std::regex::icase);
  static const std::regex refresh(R"re(content="\d+; URL=([^"]*)")re");
  static const std::regex css(R"re((?:^|[^\w-])url\(\s*"?([^")\s]*)"?\s*\))re");
  std::vector<TFoundLink> out;
  for (const std::regex* re : {&attr, &refresh, &css}) {
    for (auto it = std::sregex_iterator(text.begin(), text.end(), *re);
         it != std::sregex_iterator(); ++it) {
      const int g = (*it)[1].matched ? 1 : 2;
      out.push_back({static_cast<std::size_t>(it->position(g)), (*it)[g].str(), re == &refresh});
    }
  }
  std::sort(out.begin(), out.end(),
            [](const TFoundLink& a, const TFoundLink& b) { return a.At < b.At; });
  return out;
}

// The text with every link replaced by "@".
inline std::string Masked(std::string text, const std::vector<TFoundLink>& links) {
  for (auto it = links.rbegin(); it != links.rend(); ++it)
    text.replace(it->At, it->Value.size(), "@");
  return text;
}

inline std::string Fragment(const std::string& link) {
  const std::size_t hash = link.find('#');
  return hash == std::string::npos ? "" : link.substr(hash);
}

inline std::string WithoutFragment(const std::string& link) {
  return link.substr(0, link.find('#'));
}

inline std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The stored body of a URL, when the mirror holds one.
inline std::string StoredBody(const std::string& root, const std::string& url) {
  namespace fs = std::filesystem;
  const std::string name = NativePath(URLToLocalPath(root, url, "Data", ""));
  return !name.empty() && fs::is_regular_file(name) ? fs::weakly_canonical(name).string() : "";
}

// Removes the base marker a saved page may carry (it is no link of the page),
// with the line breaks around it that came with it.
inline std::string WithoutMarker(std::string text) {
  std::size_t m = text.find("<!--TvBASE");
  if (m == std::string::npos) return text;
  std::size_t end = text.find("-->", m);
  end = end == std::string::npos ? text.size() : end + 3;
  if (m > 0 && text[m - 1] == '\n' && end < text.size() && text[end] == '\n') {
    --m;
    ++end;
  }
  text.erase(m, end - m);
  return text;
}

// Removes the base element the localiser gives a page that had a marker, and
// gives the stored file it names ("" when there is none).
inline std::string TakeLocalBase(std::string& localised) {
  const std::string head = "\n<BASE HREF=\"file://";
  const std::size_t at = localised.find(head);
  if (at == std::string::npos) return "";
  const std::size_t end = localised.find("\">\n", at);
  if (end == std::string::npos) return "";
  const std::string file =
      PercentDecoded(localised.substr(at + head.size(), end - at - head.size()));
  localised.erase(at, end + 3 - at);
  return file;
}

struct TLinkTally {
  int Checked = 0;   // links compared
  int Local = 0;     // made to lead to a stored body
  int Absolute = 0;  // left, or made, absolute
};

// Compares the links of `original` (as served, marker and inserted base taken
// out of both) with those of `localised`: baseURL is the address the page's
// links resolve against, folder the one its relative links are taken from.
inline void ExpectLocalisedLinks(const std::string& root, const std::string& baseURL,
                                 const std::string& folder, const std::string& original,
                                 const std::string& localised, TLinkTally& tally) {
  namespace fs = std::filesystem;
  const std::vector<TFoundLink> oldLinks = FindLinks(original), newLinks = FindLinks(localised);
  ASSERT_EQ(oldLinks.size(), newLinks.size());
  EXPECT_EQ(Masked(original, oldLinks), Masked(localised, newLinks))
      << "bytes outside the links changed";
  for (std::size_t i = 0; i < oldLinks.size(); ++i) {
    const std::string& was = oldLinks[i].Value;
    const std::string& now = newLinks[i].Value;
    SCOPED_TRACE(was + " -> " + now);
    ++tally.Checked;
    if (was[0] == '#') {
      EXPECT_EQ(now, was);
      continue;
    }
    const std::string body = StoredBody(root, ResolveURL(baseURL, WithoutFragment(was)));
    if (!body.empty()) {
      ++tally.Local;
      EXPECT_EQ(Fragment(now), Fragment(was));
      std::string path = PercentDecoded(WithoutFragment(now));
      if (oldLinks[i].Refresh) {
        ASSERT_EQ(path.rfind("file:///", 0), 0u);
        path = path.substr(7);
      } else {
        EXPECT_TRUE(ParseURL(path).Scheme.empty());
        EXPECT_NE(path[0], '/') << "relative to the page";
        path = folder + "/" + path;
      }
      EXPECT_TRUE(fs::is_regular_file(path));
      EXPECT_EQ(fs::weakly_canonical(path).string(), body);
    } else if (!ParseURL(was).Scheme.empty()) {
      ++tally.Absolute;
      EXPECT_EQ(now, was) << "a link elsewhere keeps its address";
    } else {
      ++tally.Absolute;
      EXPECT_EQ(now, ResolveURL(baseURL, was) + Fragment(was))
          << "not downloaded: the absolute address";
    }
  }
}

}  // namespace qv::test
