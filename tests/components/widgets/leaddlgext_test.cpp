#include "components/widgets/leaddlgext.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "model/dropbytes.h"
#include "support/scratchdir.h"
#include "ui/uitest.h"

namespace qv {
namespace {

TEST(SplitMultiSelection, Table) {
  std::string many = "/d";
  for (int i = 0; i < 1200; ++i) many += " f" + std::to_string(i);
  std::vector<std::string> last1000;
  for (int i = 1199; i >= 200; --i) last1000.push_back("/d\\f" + std::to_string(i));
  struct Case {
    const char* Name;
    std::string Text;
    std::vector<std::string> Expect;
  } cases[] = {
      {"two names", "C:\\d a.jpg b.jpg", {"C:\\d\\b.jpg", "C:\\d\\a.jpg"}},
      {"no blank", "C:\\d\\one.jpg", {}},
      {"leading blank", " a.jpg b.jpg", {}},
      {"1,200 names", many, last1000},
  };
  for (const auto& c : cases) {
    std::vector<std::string> list;
    SplitMultiSelection(c.Text, list, 1000);
    EXPECT_EQ(list, c.Expect) << c.Name;
  }
}

// A dialog that answers from the test and can run a clipboard tick while it
// is open.
class TFakeDialog : public TLEADDlgProxy {
 public:
  std::function<void()> WhileOpen;
  int Result = 1;
  int FileOpen(QWidget*) override {
    if (WhileOpen) WhileOpen();
    return Result;
  }
};

class LEADDlgExtTest : public test::UiTest {
 protected:
  LEADDlgExtTest() : Ext(std::make_unique<TFakeDialog>()) {
    Fake = static_cast<TFakeDialog*>(Ext.Dialog.get());
  }
  TLEADDlgExt Ext;
  TFakeDialog* Fake;
  test::TScratchDir Dir;
};

// Files copied in a file manager while the dialog is open are taken whole:
// every existing file of the list in order, the dialog's own choice ignored,
// the clipboard emptied.
TEST_F(LEADDlgExtTest, ClipboardFileListIsTakenWhole) {
  const std::string a = Dir.Write("my picture.jpg", "a");
  const std::string b = Dir.Write("b.png", "b");
  Fake->FileDlgFlags = TLEADDlgProxy::kMultiSelect;
  Fake->FileName = "/elsewhere x.jpg";
  Fake->WhileOpen = [&] {
    EXPECT_TRUE(Ext.Timer1->isActive());
    auto* data = new QMimeData;
    const std::string list = URIListFromPaths({a, Dir / "missing.jpg", b}) + "http://h/c.jpg\r\n";
    data->setData("text/uri-list", QByteArray(list.data(), static_cast<qsizetype>(list.size())));
    QGuiApplication::clipboard()->setMimeData(data);
    Ext.Timer1Timer();
  };
  EXPECT_EQ(Ext.FileOpen(), 1);
  EXPECT_EQ(Ext.Files, (std::vector<std::string>{a, b}));
  EXPECT_FALSE(Ext.Timer1->isActive());
  const QMimeData* left = QGuiApplication::clipboard()->mimeData();
  EXPECT_TRUE(!left || !left->hasFormat("text/uri-list"));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  // Links copied in a browser are no files: taken as nothing, left in place.
  Fake->WhileOpen = [&] {
    auto* data = new QMimeData;
    data->setData("text/uri-list", "http://h/c.jpg\r\n");
    QGuiApplication::clipboard()->setMimeData(data);
    Ext.Timer1Timer();
  };
  EXPECT_EQ(Ext.FileOpen(), 1);
  EXPECT_EQ(Ext.Files, (std::vector<std::string>{"/elsewhere\\x.jpg"}));
  left = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->data("text/uri-list"), QByteArray("http://h/c.jpg\r\n"));
}

TEST_F(LEADDlgExtTest, TheDialogsChoice) {
  Fake->FileName = "/p/one file.jpg";
  EXPECT_EQ(Ext.FileOpen(), 1);
  EXPECT_EQ(Ext.Files, std::vector<std::string>{"/p/one file.jpg"});

  Fake->FileDlgFlags = TLEADDlgProxy::kMultiSelect;
  Fake->FileNames = {"/p/a b.jpg", "/p/c.jpg"};
  EXPECT_EQ(Ext.FileOpen(), 1);
  EXPECT_EQ(Ext.Files, Fake->FileNames);

  Fake->FileNames.clear();
  Fake->FileName = "/p a.jpg c.jpg";
  EXPECT_EQ(Ext.FileOpen(), 1);
  EXPECT_EQ(Ext.Files, (std::vector<std::string>{"/p\\c.jpg", "/p\\a.jpg"}));

  Fake->FileName.clear();
  Fake->Result = 0;
  Fake->FileDlgFlags = 0;
  EXPECT_EQ(Ext.FileOpen(), 0);
  EXPECT_TRUE(Ext.Files.empty());
}

}  // namespace
}  // namespace qv
