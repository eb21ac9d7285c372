#include "ui/controls/webbrowser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>

#include "support/scratchdir.h"
#include "ui/imagetest.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class WebBrowserTest : public test::UiTest {
 protected:
  test::TScratchDir Dir;
};

TEST_F(WebBrowserTest, DocumentCompletesOnALaterTurnOfTheLoop) {
  const std::string file = Dir.Write("note.txt", "hello there");
  TWebBrowser b;
  int completes = 0;
  QObject::connect(&b, &TWebBrowser::DocumentComplete, [&] { ++completes; });
  EXPECT_EQ(b.ReadyState(), TWebBrowser::TReadyState::Uninitialized);
  b.Navigate(file);
  EXPECT_TRUE(b.Busy());
  EXPECT_EQ(b.ReadyState(), TWebBrowser::TReadyState::Loading);
  EXPECT_EQ(completes, 0);
  test::Pump();
  EXPECT_FALSE(b.Busy());
  EXPECT_EQ(b.ReadyState(), TWebBrowser::TReadyState::Complete);
  EXPECT_EQ(completes, 1);
  EXPECT_TRUE(b.HasDocument());
  EXPECT_EQ(b.document()->toPlainText().toStdString(), "hello there");
}

TEST_F(WebBrowserTest, StopCancelsALoadThatHasNotRun) {
  const std::string file = Dir.Write("note.txt", "x");
  TWebBrowser b;
  int completes = 0;
  QObject::connect(&b, &TWebBrowser::DocumentComplete, [&] { ++completes; });
  b.Navigate(file);
  b.Stop();
  EXPECT_FALSE(b.Busy());
  test::Pump();
  EXPECT_EQ(completes, 0);
  EXPECT_FALSE(b.HasDocument());
}

TEST_F(WebBrowserTest, WhatEachTargetLoads) {
  Dir.Write("pic.png", test::PictureBytes(6, 4, Qt::blue));
  Dir.Write("page.htm", "<html><body><p>Para <b>bold</b></p></body></html>");
  Dir.Write("noext", "<html><body>guessed page</body></html>");
  Dir.Write("plain.txt", "a <b> not markup");
  Dir.Write("plain", "a < b and c > d");
  Dir.Write("blob.bin", std::string("\x7f"
                                    "ELF\0\0\0junk",
                                    11));
  Dir.Write("with blank#1.txt", "odd name");
  struct TCase {
    const char* Name;
    std::string Target;
    bool Document;
    const char* Text;  // the document's plain text, or the load error
  } cases[] = {
      {"picture", Dir / "pic.png", true, "\xef\xbf\xbc"},  // one object character
      {"page", Dir / "page.htm", true, "Para bold"},
      {"page found by its content", Dir / "noext", true, "guessed page"},
      {"text file stays text", Dir / "plain.txt", true, "a <b> not markup"},
      {"text found by its content", Dir / "plain", true, "a < b and c > d"},
      {"file URL, percent-encoded", "file://" + Dir.Path + "/with%20blank%231.txt", true,
       "odd name"},
      {"binary file", Dir / "blob.bin", false, "Not a document"},
      {"missing file", Dir / "gone.png", false, "File not found"},
      {"folder", Dir.Path, false, "File not found"},
      {"network URL", "http://127.0.0.1:1/x.png", false, "Not a local file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWebBrowser b;
    b.Navigate(c.Target);
    test::Pump();
    ASSERT_FALSE(b.Busy());
    EXPECT_EQ(b.HasDocument(), c.Document);
    if (c.Document)
      EXPECT_EQ(b.document()->toPlainText().toStdString(), c.Text);
    else
      EXPECT_EQ(b.LoadError(), c.Text);
  }
}

TEST(FileURL, EncodesEveryByteThatIsNotUnreserved) {
  EXPECT_EQ(LocalFileURL("/m/http/site/pic/Data.gif"), "file:///m/http/site/pic/Data.gif");
  EXPECT_EQ(LocalFileURL("/a b/#&\"'%:\\\xe9~"), "file:///a%20b/%23%26%22%27%25%3A%5C%E9~");
  for (const std::string path : {"/a b/c#d.png", "/x/\xe9t\xc3\xa9.gif", "/%41/q?.jpg"})
    EXPECT_EQ(LocalPathOfURL(QUrl(QString::fromLatin1(LocalFileURL(path).c_str()))), path);
  EXPECT_EQ(LocalPathOfURL(QUrl("http://h/x")), "");
  EXPECT_EQ(LocalPathOfURL(QUrl("file://otherhost/x")), "");
}

// 32-bit CRC of PNG chunks (ISO 3309).
std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

std::string Be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  return Be32(static_cast<std::uint32_t>(data.size())) + type + data + Be32(Crc32(type + data));
}

// A valid grey PNG of w x h black pixels: a few hundred kilobytes that
// decode to w x h bytes and more.
std::string BombPng(int w, int h) {
  std::string raw;
  {
    QByteArray zeros(static_cast<qsizetype>(h) * (w + 1), '\0');  // filter byte 0 + row
    const QByteArray packed = qCompress(zeros, 9);
    raw.assign(packed.constData() + 4, static_cast<size_t>(packed.size() - 4));  // zlib stream
  }
  const std::string ihdr = Be32(static_cast<std::uint32_t>(w)) +
                           Be32(static_cast<std::uint32_t>(h)) +
                           std::string("\x08\x00\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", raw) +
         Chunk("IEND", "");
}

// Decodes the file; true when it was refused as too large while the peak
// resident size grew by less than 32 MiB.
bool DecodeStaysSmall(const std::string& path) {
  rusage before{};
  rusage after{};
  getrusage(RUSAGE_SELF, &before);
  std::string error;
  const QImage image = ReadImageBounded(path, &error);
  getrusage(RUSAGE_SELF, &after);
  const long grownKiB = after.ru_maxrss - before.ru_maxrss;
  std::fprintf(stderr, "grown %ld KiB, error '%s'\n", grownKiB, error.c_str());
  return image.isNull() && error == "Picture too large" && grownKiB < 32 * 1024;
}

TEST(ImageBounds, ASmallFileDeclaringHugeDimensionsIsRefusedWithoutALargeAllocation) {
  test::TScratchDir dir;
  // 10000 x 10000 grey: 100 MB of pixels, 400 MB at 32 bits, from ~100 KB.
  const std::string path = dir.Write("bomb.png", BombPng(10000, 10000));
  ASSERT_LT(test::ReadBytes(path).size(), 1024u * 1024u);
  // The decode is measured in a child process, whose peak resident size
  // starts from what it holds at the fork.
  EXPECT_EXIT(std::_Exit(DecodeStaysSmall(path) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(ImageBounds, OrdinaryPicturesDecode) {
  test::TScratchDir dir;
  for (const char* format : {"PNG", "JPEG"}) {
    SCOPED_TRACE(format);
    const std::string path =
        dir.Write(std::string("p.") + format, test::PictureBytes(9, 7, Qt::red, format));
    std::string error = "unset";
    const QImage image = ReadImageBounded(path, &error);
    ASSERT_FALSE(image.isNull()) << error;
    EXPECT_EQ(image.size(), QSize(9, 7));
    EXPECT_EQ(error, "");
  }
  std::string error;
  EXPECT_TRUE(ReadImageBounded(dir.Write("fake.png", "not a picture"), &error).isNull());
  EXPECT_NE(error, "");
}

// The sizes the document draws its pictures at, in order.
std::vector<QSize> DrawnSizes(QTextDocument& doc) {
  std::vector<QSize> out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      if (f.isImageFormat())
        out.push_back(QSize(static_cast<int>(f.toImageFormat().width()),
                            static_cast<int>(f.toImageFormat().height())));
    }
  return out;
}

TEST_F(WebBrowserTest, PicturesShrinkToThePrintedPage) {
  const std::string big = Dir.Write("big.png", test::PictureBytes(1600, 1000, Qt::red));
  Dir.Write("page.htm",
            "<html><body><img src=\"big.png\"><p>x</p>"
            "<img src=\"big.png\" width=100 height=50>"
            "<img src=\"big.png\" width=400 height=2000></body></html>");
  for (const std::string& target : {big, Dir / "page.htm"}) {
    SCOPED_TRACE(target);
    TWebBrowser b;
    b.Navigate(target);
    test::Pump();
    ASSERT_TRUE(b.HasDocument());
    FitImagesToPage(*b.document(), QSizeF(640, 900));
    const std::vector<QSize> want =
        target == big ? std::vector<QSize>{QSize(640, 400)}
                      : std::vector<QSize>{QSize(640, 400), QSize(100, 50), QSize(180, 900)};
    EXPECT_EQ(DrawnSizes(*b.document()), want);
  }
}

TEST_F(WebBrowserTest, APicturesDrawnSizeIsScaledOnceWhenLoaded) {
  Dir.Write("pics/small.png", test::PictureBytes(5, 5, Qt::red));
  Dir.Write("pics/page.htm",
            "<html><body><img src=\"small.png\" width=20 height=10></body></html>");
  TWebBrowser b;
  b.Navigate(Dir / "pics/page.htm");
  test::Pump();
  const QVariant shown = b.document()->resource(QTextDocument::ImageResource, QUrl("small.png"));
  EXPECT_EQ(shown.value<QImage>().size(), QSize(20, 10));
}

TEST(DefaultPrinter, WithoutAPrinterNothingIsPrintedAndTheResultSaysSo) {
  test::App();
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  QTextDocument doc;
  doc.setPlainText("x");
  std::string error;
  TDefaultPrinter printer;
  EXPECT_FALSE(printer.Print(doc, error));
  EXPECT_EQ(error, kNoPrinterText);
}

}  // namespace
}  // namespace qv
