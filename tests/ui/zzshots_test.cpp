#include <QComboBox>
#include <QImage>
#include <QPixmap>
#include <QTabWidget>

#include "mainformfixture.h"
#include "ui/controls/filtergrid.h"
#include "ui/controls/stringatrgrid.h"
#include "ui/controls/urllistbox.h"

namespace qv {
namespace {
class Shots : public test::MainFormFixture {};
TEST_F(Shots, Pages) {
  for (int i = 0; i < 40; ++i)
    List("http://www.example.com/some/rather/long/folder/name/for/testing/the/middle/cut/page" +
             std::to_string(i) + ".html",
         i % 4 == 0 ? 30 : 10, i % 3 == 0, i * 100);
  List("http://www.example.com/caf\xc3\xa9/na\xc3\xafve.html", 50, true, 1234);
  {
    std::lock_guard<TCriticalSection> hold(*URLListLock);
    auto* r = GlobalURLList->FindItem("http://www.example.com/some/rather/long/folder/name/for/testing/the/middle/cut/page0.html");
    r->Title = "Caf\xc3\xa9 page";
    r->ContentType = "text/html";
    r->ParentURL = "http://www.example.com/";
  }
  Form1->Grid1->SetRows({{"http://www.example.com/", 0x0300}, {"https://secure.example.org/docs/", 0x0201},
                         {"ftp://ftp.example.net/pub/", 0x0002}, {"?-mailto:someone@example.com", 3}});
  Form1->FilGrid->SetRows({{"*.gif", fcNo}, {"*cat*", fcAllT}});
  Form1->resize(900, 700);
  Form1->show();
  Form1->RefreshURLList();
  Form1->FailedFilesCombo->setCurrentIndex(ccNo);
  for (int p = 0; p < 3; ++p) {
    Form1->PageControl1->setCurrentIndex(p);
    for (int k = 0; k < 20; ++k) QCoreApplication::processEvents();
    Form1->ShowAttributes();
    for (int k = 0; k < 20; ++k) QCoreApplication::processEvents();
    Form1->grab().save(QString("/tmp/h22-page%1.png").arg(p));
  }
}
}  // namespace
}  // namespace qv
