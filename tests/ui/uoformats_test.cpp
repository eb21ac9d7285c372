#include "ui/controls/uoformats.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QMimeData>

#include "model/dropbytes.h"
#include "ui/controls/uodataobject.h"
#include "ui/controls/uosource.h"
#include "ui/uitest.h"

namespace qv {
namespace {

using namespace std::string_literals;

const QString kImageMime = "application/x-qt-windows-mime;value=\"Netscape Image Format\"";

TEST(ClipboardFormats, NamesGiveNumbersAndBack) {
  EXPECT_EQ(ClipboardFormatFromName(""), 0u);
  EXPECT_EQ(ClipboardFormatFromName("1"), CF_TEXT);
  EXPECT_EQ(ClipboardFormatFromName("15"), CF_HDROP);
  EXPECT_EQ(ClipboardFormatFromName("16"), 16u);
  // The set's own names are registered first, in order.
  EXPECT_EQ(ClipboardFormatFromName("Netscape Image Format"), 0xC000u);
  EXPECT_EQ(ClipboardFormatFromName("HTML Format"), 0xC001u);
  EXPECT_EQ(ClipboardFormatFromName("FileContents"), 0xC006u);
  EXPECT_EQ(ClipboardFormatFromName("html FORMAT"), 0xC001u);
  for (const char* name : {"0", "17", "015x", "Some Other Format"}) {
    const uint32_t n = ClipboardFormatFromName(name);
    EXPECT_GE(n, 0xC007u) << name;
    EXPECT_EQ(ClipboardFormatFromName(name), n) << name;
    EXPECT_EQ(ClipboardFormatName(n), name);
  }
  EXPECT_EQ(ClipboardFormatName(15), "15");
  EXPECT_EQ(ClipboardFormatName(0xC001), "HTML Format");
  EXPECT_EQ(ClipboardFormatName(0xBFFF), "");
  EXPECT_EQ(ClipboardFormatName(ClipboardFormatFromName(std::string(300, 'L'))),
            std::string(255, 'L'));
}

TEST(ClipboardFormats, NamesMapToMimeTypesBothWays) {
  struct {
    const char* Name;
    QString Mime;
    const char* Back;
  } cases[] = {
      {"1", "text/plain", "1"},
      {"15", "text/uri-list", ""},  // files or links: the content tells
      {"UniformResourceLocator", "text/x-moz-url", "UniformResourceLocator"},
      {"uniformresourcelocator", "text/x-moz-url", "UniformResourceLocator"},
      {"HTML Format", "text/html", "HTML Format"},
      {"Rich Text Format", "text/rtf", "Rich Text Format"},
      {"Netscape Image Format", kImageMime, "Netscape Image Format"},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(MimeTypesOfFormat(c.Name).isEmpty()) << c.Name;
    EXPECT_EQ(MimeTypesOfFormat(c.Name).first(), c.Mime) << c.Name;
    EXPECT_EQ(FormatNameOfMime(c.Mime), c.Back) << c.Name;
  }
  EXPECT_TRUE(MimeTypesOfFormat("UniformResourceLocator").contains("text/uri-list"));
  EXPECT_TRUE(MimeTypesOfFormat("").isEmpty());
  EXPECT_EQ(FormatNameOfMime("text/plain;charset=utf-8"), "1");
  EXPECT_EQ(FormatNameOfMime("image/png"), "image/png");
  EXPECT_TRUE(MimeTypesOfFormat("image/png").contains("image/png"));
}

TEST(ClipboardFormats, EffectsAreTheDropActionBits) {
  EXPECT_EQ(DropActionsOf({TDropEffect::deCopy, TDropEffect::deLink, TDropEffect::deScroll}),
            Qt::CopyAction | Qt::LinkAction);
  EXPECT_EQ(DropEffectsOf(Qt::IgnoreAction), TDropEffects{TDropEffect::deNone});
  EXPECT_EQ(DropEffectsOf(Qt::MoveAction | Qt::CopyAction),
            (TDropEffects{TDropEffect::deCopy, TDropEffect::deMove}));
  EXPECT_EQ(LowestEffect({TDropEffect::deLink, TDropEffect::deMove}), TDropEffect::deMove);
  TUOTextSource s;
  EXPECT_EQ(s.Version(), "1.36 (March 6, 2000)");
  s.SetVersion("2.0");
  EXPECT_EQ(s.Version(), "1.36 (March 6, 2000)");
}

TEST(ClipboardFormats, EnumeratorHandsOutOneEntryACall) {
  TUOEnumFormatEtc e({{1, -1, 1}, {15, -1, 1}, {0xC001, 0, 1}});
  TFormatEtc got[2] = {{7, 7, 7}, {7, 7, 7}};
  unsigned fetched = 9;
  EXPECT_FALSE(e.Next(2, got, &fetched));
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(got[0], (TFormatEtc{7, 7, 7}));
  EXPECT_TRUE(e.Next(1, got, &fetched));
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(got[0].Format, 1u);
  TUOEnumFormatEtc copy = e.Clone();
  EXPECT_FALSE(e.Skip(3));
  EXPECT_TRUE(e.Skip(2));
  EXPECT_FALSE(e.Next(1, got));
  EXPECT_TRUE(copy.Next(1, got));
  EXPECT_EQ(got[0].Format, 15u);
  e.Reset();
  EXPECT_TRUE(e.Next(1, got));
  EXPECT_EQ(got[0].Format, 1u);
}

class DataObjectTest : public test::UiTest {
 protected:
  TUOTextSource Source;
  int Renders = 0;
  std::vector<std::string> Rendered;

  void CountRenders(const std::string& content) {
    Source.OnRenderCustomFormat = [this, content](QObject*, const std::string& name,
                                                  std::string& out) {
      ++Renders;
      Rendered.push_back(name);
      out = content;
    };
  }
};

TEST_F(DataObjectTest, TextIsServedAsPlainTextWithoutItsZero) {
  Source.SetText("abc");
  TTextDataObject d(&Source);
  EXPECT_EQ(d.formats(), QStringList{"text/plain"});
  EXPECT_EQ(d.data("text/plain"), QByteArray("abc"));
  EXPECT_EQ(d.GetData(CF_TEXT), "abc\0"s);
  EXPECT_FALSE(d.QueryGetData(ClipboardFormatFromName("HTML Format")));
  EXPECT_FALSE(d.hasFormat("text/html"));
  EXPECT_TRUE(d.data("text/html").isEmpty());
  EXPECT_FALSE(d.GetData(ClipboardFormatFromName("HTML Format")).has_value());
  EXPECT_EQ(d.EnumFormatEtc(), (std::vector<TFormatEtc>{{CF_TEXT, -1, TYMED_HGLOBAL}}));
  EXPECT_EQ(GetDataObjectFormatNames(&d), std::vector<std::string>{"1"});
  EXPECT_TRUE(DataObjectHasFormat(&d, "1"));
  EXPECT_FALSE(DataObjectHasFormat(&d, ""));
  EXPECT_FALSE(DataObjectHasFormat(nullptr, "1"));

  // 8-bit text that is not UTF-8 goes out as UTF-8.
  Source.SetText("caf\xE9");
  TTextDataObject latin(&Source);
  EXPECT_EQ(latin.data("text/plain"), QByteArray("caf\xC3\xA9"));
}

TEST_F(DataObjectTest, FirstRecordOfANameServesAndIsRenderedOnce) {
  Source.CustomFormats.AddFormat("Netscape Image Format", "");
  Source.CustomFormats.AddFormat("Netscape Image Format", "second");
  CountRenders("first");
  TTextDataObject d(&Source);
  EXPECT_EQ(d.data(kImageMime), QByteArray("first\0", 6));
  EXPECT_EQ(d.GetData(0xC000), "first\0"s);
  EXPECT_EQ(d.data(kImageMime), QByteArray("first\0", 6));
  EXPECT_EQ(Renders, 1);
  EXPECT_EQ(Source.ServedFormatIndex, 0);
  EXPECT_EQ(Source.CustomFormats[0].FormatContent, "first");
  EXPECT_EQ(Source.Text(), "first");
  // A request for an index only the second record has.
  Source.CustomFormats[1].LIndex = 7;
  EXPECT_EQ(d.GetData(0xC000, 7), "second\0"s);
  EXPECT_EQ(Source.ServedFormatIndex, 1);
}

TEST_F(DataObjectTest, EmptyRecordWithoutHandlerServesAnEmptyText) {
  Source.CustomFormats.AddFormat("1", "");
  TTextDataObject d(&Source);
  EXPECT_EQ(d.GetData(CF_TEXT), "\0"s);
  EXPECT_EQ(d.data("text/plain"), QByteArray());
  EXPECT_TRUE(d.hasFormat("text/plain"));
}

TEST_F(DataObjectTest, ContentOfOtherMediaIsNeverHandedOut) {
  // Four bytes that would have been an object pointer.
  Source.CustomFormats.AddFormatEx("Netscape Image Format", "\x10\x20\x30\x40", 0, TYMED_ISTREAM);
  Source.CustomFormats.AddFormatEx("FileContents", "\x10\x20\x30\x40", 0, TYMED_GDI);
  TTextDataObject d(&Source);
  EXPECT_TRUE(d.formats().isEmpty());
  EXPECT_FALSE(d.GetData(0xC000, -1, TYMED_ISTREAM).has_value());
  EXPECT_FALSE(d.GetData(0xC006, -1, TYMED_GDI).has_value());
  EXPECT_FALSE(d.GetData(0xC000).has_value());
  EXPECT_FALSE(DataObjectHasFormat(&d, "Netscape Image Format"));
  EXPECT_TRUE(d.data(kImageMime).isEmpty());
}

TEST_F(DataObjectTest, FilesAndLinksGoOutInTheirLinuxTypes) {
  Source.CustomFormats.AddFormat("15", "");
  Source.CustomFormats.AddFormat("UniformResourceLocator", "http://x.example/\0\0"s);
  Source.CustomFormats.AddFormat("HTML Format", "Version:0.9\r\n<b>x</b>");
  Source.OnRenderCustomFormat = [&](QObject*, const std::string& name, std::string& out) {
    ++Renders;
    if (name == "15") out = BuildDropFilesBlock("", {"/tmp/a b.txt", "", "/tmp/c"});
  };
  TTextDataObject d(&Source);
  EXPECT_EQ(d.formats(), (QStringList{"text/uri-list", "text/x-moz-url", "text/html"}));
  EXPECT_EQ(GetDataObjectFormatNames(&d),
            (std::vector<std::string>{"15", "UniformResourceLocator", "HTML Format"}));
  EXPECT_EQ(d.data("text/uri-list"), QByteArray("file:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n"));
  EXPECT_EQ(d.data("text/uri-list"), QByteArray("file:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n"));
  EXPECT_EQ(Renders, 1);
  const QByteArray moz = d.data("text/x-moz-url");
  EXPECT_EQ(ParseMozURL(std::string_view(moz.constData(), moz.size())).URL, "http://x.example/");
  EXPECT_EQ(d.data("text/html"), QByteArray("<b>x</b>"));
  EXPECT_EQ(*d.DataForName("UniformResourceLocator", "text/uri-list"),
            QByteArray("http://x.example/\r\n"));
}

TEST_F(DataObjectTest, AGoneSourceServesNothing) {
  auto source = std::make_unique<TUOTextSource>();
  source->SetText("abc");
  TTextDataObject d(source.get());
  source.reset();
  EXPECT_TRUE(d.formats().isEmpty());
  EXPECT_TRUE(d.data("text/plain").isEmpty());
  EXPECT_FALSE(d.GetData(CF_TEXT).has_value());
}

TEST(ForeignData, MimeTypesListAsFormatNames) {
  test::App();
  QMimeData md;
  md.setData("text/plain", "abc");
  md.setData("text/uri-list", "file:///tmp/a\r\nhttp://x.example/\r\n");
  md.setData("text/html", "<b>x</b>");
  md.setData("image/png", "png");
  md.setData("text/plain;charset=utf-8", "abc");
  EXPECT_EQ(
      GetDataObjectFormatNames(&md),
      (std::vector<std::string>{"1", "15", "UniformResourceLocator", "HTML Format", "image/png"}));
  EXPECT_TRUE(DataObjectHasFormat(&md, "15"));
  EXPECT_TRUE(DataObjectHasFormat(&md, "uniformresourcelocator"));
  EXPECT_FALSE(DataObjectHasFormat(&md, "Rich Text Format"));

  QMimeData links;
  links.setData("text/uri-list", "http://x.example/\r\nfile://elsewhere/x\r\n");
  EXPECT_EQ(GetDataObjectFormatNames(&links), std::vector<std::string>{"UniformResourceLocator"});
  EXPECT_FALSE(DataObjectHasFormat(&links, "15"));
}

}  // namespace
}  // namespace qv
