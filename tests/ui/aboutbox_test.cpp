#include "ui/aboutbox.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "platform/shell.h"
#include "ui/controls/textout.h"
#include "ui/newsdialog.h"
#include "ui/uitest.h"

namespace qv {
namespace {

class NoticeTest : public test::UiTest {};

TEST_F(NoticeTest, AboutBoxNamesProductVersionPlatformAndLibraries) {
  TAboutBox box;
  EXPECT_EQ(box.ProductName->text(), "Quendravilos");
  EXPECT_EQ(box.Version->text(), "Version 1.32");
  EXPECT_EQ(box.Platform->text(), "for Linux");
  for (const char* lib : {"Qt 6.", "OpenSSL 3.", "libpsl ", "libjpeg-turbo"})
    EXPECT_TRUE(box.Libraries->text().contains(lib)) << lib;
  auto* ok = box.findChild<QPushButton*>("OKButton");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  box.show();
  test::Pump();
  const int bevel = box.Panel1->frameWidth();
  EXPECT_GT(bevel, 0);
  EXPECT_EQ(box.ProgramIcon->pos(), QPoint(bevel, bevel));
  EXPECT_EQ(box.Panel1->size(), box.ProgramIcon->pixmap().size() + QSize(2 * bevel, 2 * bevel));
  ok->click();
  EXPECT_FALSE(box.isVisible());
}

TEST_F(NoticeTest, TheSocketVersionNoticeNeverShowsHere) {
  TScriptedPrompter prompter;
  int opened = 0;
  TNewsDlg news(nullptr, prompter, [&](const std::string&) {
    ++opened;
    return ShellSuccess;
  });
  EXPECT_FALSE(SocketStackVersion().has_value());
  EXPECT_TRUE(prompter.Prompts.empty());
  EXPECT_EQ(opened, 0);
}

TEST_F(NoticeTest, AnOldSocketVersionOffersTheUpdatePage) {
  struct {
    const char* Name;
    std::uint16_t Version;
    TMsgAnswer Answer;
    int OpenResult;
    std::vector<std::string> Prompts;
    int Opened;
  } cases[] = {
      {"current", 0x0202, TMsgAnswer::Yes, ShellSuccess, {}, 0},
      {"declined", 0x0101, TMsgAnswer::No, ShellSuccess, {"ask"}, 0},
      {"opened", 0x0101, TMsgAnswer::Yes, ShellSuccess, {"ask"}, 1},
      {"no browser", 0x0101, TMsgAnswer::Yes, ShellNoAssociation, {"ask", "message"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedPrompter prompter;
    prompter.Answers = {c.Answer};
    std::vector<std::string> urls;
    TNewsDlg news(
        nullptr, prompter,
        [&](const std::string& url) {
          urls.push_back(url);
          return c.OpenResult;
        },
        c.Version);
    std::vector<std::string> kinds;
    for (const auto& p : prompter.Prompts) kinds.push_back(p.Kind);
    EXPECT_EQ(kinds, c.Prompts);
    EXPECT_EQ(static_cast<int>(urls.size()), c.Opened);
    if (!kinds.empty()) {
      EXPECT_EQ(prompter.Prompts[0].Text,
                "The version of \"Winsock\" (1.1) currently installed on this computer has been "
                "superceded and may cause this program to function incorrectly.\nDownloading and "
                "installing the latest version is quick and easy.\n\nDo you want to download it "
                "now?");
    }
    if (kinds.size() == 2) {
      EXPECT_EQ(prompter.Prompts[1].Text, "No default web browser detected.");
    }
  }
}

TEST_F(NoticeTest, FittedTextIsDrawnWithinItsWidth) {
  QImage image(300, 40, QImage::Format_ARGB32);
  image.fill(Qt::white);
  const std::string text(200, 'W');
  {
    QPainter p(&image);
    p.setPen(Qt::black);
    const QFontMetrics fm = p.fontMetrics();
    const std::string fitted = FitTextToWidth(fm, text, 100, 1);
    EXPECT_LT(fitted.size(), text.size());
    EXPECT_EQ(fitted.substr(fitted.size() - 2), ">>");
    EXPECT_LE(fm.horizontalAdvance(QString::fromStdString(fitted)), 100);
    EXPECT_EQ(FitTextToWidth(fm, "short", 100, 3), "short");
    TextOutFitted(p, 10, 5, text, 100, 1);
  }
  int inked = 0, beyond = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != Qt::white) (x < 10 + 100 ? inked : beyond)++;
  EXPECT_GT(inked, 0);
  EXPECT_EQ(beyond, 0);
}

}  // namespace
}  // namespace qv
