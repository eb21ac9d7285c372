#include "model/dropbytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using namespace std::string_literals;

TEST(DropFilesBlock, EightBitLayoutIsByteExact) {
  const std::string block = BuildDropFilesBlock("C:\\d", {"a.txt", "b.txt"});
  const std::string want = "\x14\0\0\0"s + "\0\0\0\0\0\0\0\0"s + "\0\0\0\0"s + "\0\0\0\0"s +
                           "C:\\d\\a.txt\0C:\\d\\b.txt\0\0"s;
  EXPECT_EQ(block, want);
  // A folder ending in a backslash gets no second one; no folder, no backslash.
  EXPECT_EQ(BuildDropFilesBlock("C:\\d\\", {"a"}).substr(20), "C:\\d\\a\0\0"s);
  EXPECT_EQ(BuildDropFilesBlock("", {"/x/a", "/x/b"}).substr(20), "/x/a\0/x/b\0\0"s);
}

TEST(DropFilesBlock, EmptyPathsNeitherEndTheListWhenBuiltNorWhenRead) {
  const std::string block = BuildDropFilesBlock("", {"/a", "", "/b"});
  EXPECT_EQ(block.substr(20), "/a\0/b\0\0"s);
  // A block from elsewhere with an empty name in the middle.
  std::string foreign = block.substr(0, 20) + "/a\0\0/b\0\0"s;
  EXPECT_EQ(ReadDropFilesBlock(foreign), (std::vector<std::string>{"/a", "/b"}));
}

TEST(DropFilesBlock, WidePathsRoundTripAsUtf8) {
  const std::vector<std::string> names = {"/home/u/caf\xC3\xA9.txt", "/tmp/\xF0\x9F\x98\x80",
                                          "/tmp/" + std::string(1200, 'n')};
  const std::string block = BuildDropFilesBlock("", names, true);
  EXPECT_EQ(block.substr(16, 4), "\xFF\xFF\xFF\xFF"s);
  EXPECT_EQ(block.substr(20, 4), "/\0h\0"s);
  EXPECT_EQ(ReadDropFilesBlock(block), names);
  EXPECT_EQ(ReadDropFilesBlock(BuildDropFilesBlock("", names)), names);
  // In a name, U+FEFF is a character like any other.
  const std::vector<std::string> marked = {"\xEF\xBB\xBF/a"};
  EXPECT_EQ(ReadDropFilesBlock(BuildDropFilesBlock("", marked, true)), marked);
}

TEST(DropFilesBlock, ReaderStaysInsideTheBlock) {
  const std::string header = BuildDropFilesBlock("", {}).substr(0, 20);
  auto withOffset = [&](uint32_t off, const std::string& rest) {
    std::string h = header;
    for (int k = 0; k < 4; ++k) h[k] = static_cast<char>((off >> (8 * k)) & 0xFF);
    return h + rest;
  };
  struct {
    const char* Name;
    std::string Block;
    std::vector<std::string> Want;
  } cases[] = {
      {"shorter than the header", header.substr(0, 19), {}},
      {"offset past the end", withOffset(4000, "/a\0"s), {}},
      {"offset inside the header", withOffset(4, "/a\0"s), {}},
      {"offset far out", withOffset(0xFFFFFFF0u, "/a\0"s), {}},
      {"last path without its zero", withOffset(20, "/a\0/b"s), {"/a", "/b"}},
      {"offset skips a field", withOffset(22, "xx/a\0\0"s), {"/a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDropFilesBlock(c.Block), c.Want) << c.Name;
  // A wide block with an odd byte at the end.
  std::string wide = BuildDropFilesBlock("", {"/a"}, true);
  wide.resize(wide.size() - 3);
  EXPECT_EQ(ReadDropFilesBlock(wide), (std::vector<std::string>{"/a"}));
}

std::string Descriptor(const std::string& name, size_t keep = 4 + 332) {
  std::string d = "\x01\0\0\0"s + std::string(72, '\x7F') + name;
  d.resize(4 + 332, '\0');
  return d.substr(0, keep);
}

TEST(FileGroupDescriptor, NameIsReadOnlyWhenItEndsInsideTheBlock) {
  EXPECT_EQ(FileGroupDescriptorName(Descriptor("Some Page.url")), "Some Page.url");
  EXPECT_EQ(FileGroupDescriptorName(Descriptor("Some Page.url", 76 + 14)), "Some Page.url");
  EXPECT_EQ(FileGroupDescriptorName(Descriptor("Some Page.url", 76 + 13)), std::nullopt);
  EXPECT_EQ(FileGroupDescriptorName(Descriptor("x", 76)), std::nullopt);
  EXPECT_EQ(FileGroupDescriptorName(""), std::nullopt);
  EXPECT_EQ(FileGroupDescriptorName("\0\0\0\0"s + Descriptor("a").substr(4)), std::nullopt);
  // A name filling its whole field has no end inside it.
  EXPECT_EQ(FileGroupDescriptorName(Descriptor(std::string(260, 'n')) + "\0"s), std::nullopt);
}

TEST(FileGroupDescriptor, TitleLosesATrailingDotUrlOnly) {
  struct {
    const char* Name;
    bool Bookmark;
    const char* Want;
  } cases[] = {
      {"Some Page.url", false, "Some Page"},
      {"Some Page.URL", false, "Some Page"},
      {"A.URL guide.url", false, "A.URL guide"},
      {"Read the .URL guide", false, "Read the .URL guide"},
      {"Shortcut to Home.url", true, "Home"},
      {"Shortcut to Home.url", false, "Shortcut to Home"},
      {".url", false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(URLTitleFromFileName(c.Name, c.Bookmark), c.Want) << c.Name;
}

TEST(DropText, Utf16FromBrowsersBecomesUtf8AndTextsStopAtTheFirstZero) {
  struct {
    const char* Name;
    std::string Bytes;
    std::string Want;
  } cases[] = {
      {"8-bit with slack zeros", "http://x\0\0"s, "http://x"},
      {"UTF-16LE", "h\0t\0\0\0x\0"s, "ht"},
      {"UTF-16LE with mark", "\xFF\xFEh\0\xE9\0"s, "h\xC3\xA9"},
      {"UTF-16BE with mark", "\xFE\xFF\0h\x20\xAC"s, "h\xE2\x82\xAC"},
      {"surrogate pair", "a\0\x3D\xD8\x00\xDE"s, "a\xF0\x9F\x98\x80"},
      {"lone surrogate", "a\0\x00\xD8"s, "a\xEF\xBF\xBD"},
      {"odd last byte", "a\0b"s, "a"},
      {"Latin-1 bytes kept", "caf\xE9"s, "caf\xE9"},
      {"empty", ""s, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DropBytesToText(c.Bytes), c.Want) << c.Name;
}

TEST(DropText, LongTextIsCutAtALineBreakInsideTheLimit) {
  EXPECT_EQ(BoundText("ab\r\ncd\r\nef", 9), "ab\r\ncd");
  EXPECT_EQ(BoundText("abcdef", 4), "abcd");
  EXPECT_EQ(BoundText("ab\ncd", 5), "ab\ncd");
  const std::string big(kDropTextLimit + 10, 'x');
  EXPECT_EQ(DropBytesToText(big).size(), kDropTextLimit);
}

TEST(DropText, Utf8CheckAndLatin1Fallback) {
  struct {
    std::string Bytes;
    bool Valid;
  } cases[] = {
      {"plain", true},         {"caf\xC3\xA9", true},
      {"\xE2\x82\xAC", true},  {"\xF0\x9F\x98\x80", true},
      {"caf\xE9", false},      {"\xC0\xAF", false},
      {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},
      {"\xE2\x82", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.Bytes), c.Valid) << c.Bytes;
  EXPECT_EQ(AsUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(AsUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(Utf8ToUtf16LE("a\xE2\x82\xAC\xF0\x9F\x98\x80"), "a\0\xAC\x20\x3D\xD8\x00\xDE"s);
}

TEST(MozURL, URLAndTitleInUtf16Or8Bit) {
  const TMozURL a = ParseMozURL(BuildMozURL("http://x.example/a", "Caf\xC3\xA9 page"));
  EXPECT_EQ(a.URL, "http://x.example/a");
  EXPECT_EQ(a.Title, "Caf\xC3\xA9 page");
  const TMozURL b = ParseMozURL("http://y.example/\r\nY\r\n\0junk"s);
  EXPECT_EQ(b.URL, "http://y.example/");
  EXPECT_EQ(b.Title, "Y");
  const TMozURL c = ParseMozURL("http://z.example/"s);
  EXPECT_EQ(c.URL, "http://z.example/");
  EXPECT_EQ(c.Title, "");
}

TEST(URIList, FileURIsGiveLocalPathsByteForByte) {
  struct {
    const char* URI;
    std::optional<std::string> Want;
  } cases[] = {
      {"file:///home/u/a%20b.txt", "/home/u/a b.txt"},
      {"file://localhost/etc/x", "/etc/x"},
      {"FILE://LocalHost/etc/x", "/etc/x"},
      {"file:/tmp/old-style", "/tmp/old-style"},
      {"file:///tmp/caf%C3%A9%e9", "/tmp/caf\xC3\xA9\xE9"},
      {"file:///tmp/100%", "/tmp/100%"},
      {"file:///tmp/a%2", "/tmp/a%2"},
      {"file:///tmp/q?x=1#frag", "/tmp/q"},
      {"file://server/share/x", std::nullopt},
      {"file://localhost", std::nullopt},
      {"file:relative", std::nullopt},
      {"file:///tmp/nul%00here", std::nullopt},
      {"http://x/", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FileURIToPath(c.URI), c.Want) << c.URI;

  const std::vector<std::string> paths = {"/a b/c%d", "/tmp/caf\xE9", "/x#y?z"};
  EXPECT_EQ(FilePathsFromURIList(URIListFromPaths(paths)), paths);
  EXPECT_EQ(URIListFromPaths({"/a b", "", "relative"}), "file:///a%20b\r\n");
  EXPECT_EQ(FilePathsFromURIList("# c\r\n  file:///a  \nhttp://x/\n\nfile:///b\r\n"),
            (std::vector<std::string>{"/a", "/b"}));
  EXPECT_EQ(URIListEntries("# c\r\nhttp://x/\r\n\r\nfile:///b\rhttp://y/"),
            (std::vector<std::string>{"http://x/", "file:///b", "http://y/"}));
}

TEST(HTMLFormat, HeaderGivesSourceURLAndTheHTMLWithinItsOffsets) {
  const std::string html = "<html><body>x</body></html>";
  std::string header =
      "Version:0.9\r\nStartHTML:0000000000\r\nEndHTML:0000000000\r\nSourceURL:http://s.example/"
      "p\r\n";
  const size_t start = header.size(), end = start + html.size();
  auto put = [&](const char* field, size_t v) {
    const size_t at = header.find(field) + std::string(field).size();
    const std::string digits = std::to_string(v);
    header.replace(at + 10 - digits.size(), digits.size(), digits);
  };
  put("StartHTML:", start);
  put("EndHTML:", end);
  const THTMLFormat f = ParseHTMLFormat(header + html + "\0slack"s);
  EXPECT_TRUE(f.HasHeader);
  EXPECT_EQ(f.SourceURL, "http://s.example/p");
  EXPECT_EQ(f.HTML, html);

  // Offsets outside the block: the HTML starts after the header lines.
  const THTMLFormat bad = ParseHTMLFormat("Version:1.0\r\nStartHTML:99999\r\nEndHTML:5\r\n" + html);
  EXPECT_EQ(bad.HTML, html);
  const THTMLFormat none = ParseHTMLFormat(html);
  EXPECT_FALSE(none.HasHeader);
  EXPECT_EQ(none.HTML, html);
}

}  // namespace
}  // namespace qv
